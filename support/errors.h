#pragma once
// The error-reporting convention of the program.
//
// Every entry point (event handler, timer tick, procedure called across
// modules) traps its own failures, reports them to GestionDesErreurs with
// "Module:Procedure" and carries on with its next step: an error never
// propagates to the caller. The mechanism is ErrorTrap:
//
//     void Frm_Main_Foo() {
//         ErrorTrap trap("Frm_Main:Foo");
//         trap(10, [&] { ... first step ... });
//         trap(20, [&] { ... next step, runs even if step 10 failed ... });
//     }
//
// A step fails by throwing (RaiseError, or any std::exception). The trap
// copies number, source, description and line into the error record, calls
// GestionDesErreurs(where) and returns normally.
#include <QString>
#include <exception>
#include <stdexcept>
#include <utility>

struct ErrorRecord {
    qint32 ErrNumber = 0;
    QString ErrSource;
    QString ErrDescription;
    qint32 ErrLine = 0;
    void Clear() { *this = ErrorRecord{}; }
};

// The process-wide record of the last run-time error.
ErrorRecord& Err();

// A run-time error with a number, as raised by RaiseError.
class AppError : public std::runtime_error {
public:
    AppError(qint32 number, const QString& description, const QString& source = {})
        : std::runtime_error(description.toStdString()), number_(number),
          description_(description), source_(source) {}
    qint32 number() const { return number_; }
    const QString& description() const { return description_; }
    const QString& source() const { return source_; }
private:
    qint32 number_;
    QString description_;
    QString source_;
};

// Number given to failures that are not AppError (std::exception and others).
constexpr qint32 kInternalErrorNumber = 51;  // "Internal error"

[[noreturn]] void RaiseError(qint32 number, const QString& description, const QString& source = {});

// The shared error manager: turns the error record into a framed incident line.
void GestionDesErreurs(const QString& where);

// Fills the error record from the exception currently being handled.
void CaptureCurrentException(int line);

class ErrorTrap {
public:
    explicit ErrorTrap(QString where) : where_(std::move(where)) {}
    const QString& where() const { return where_; }

    // Runs one step; returns false when it failed (already reported).
    template <class F>
    bool operator()(int line, F&& step) {
        try {
            std::forward<F>(step)();
            return true;
        } catch (...) {
            CaptureCurrentException(line);
            GestionDesErreurs(where_);
            failed_ = true;
            return false;
        }
    }
    bool failed() const { return failed_; }

private:
    QString where_;
    bool failed_ = false;
};
