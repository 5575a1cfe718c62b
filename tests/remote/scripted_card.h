#pragma once
// A card driver played by the test: the boards it reports, its configuration
// words, the input word the contacts make, and a record of every call.
#include "platform/dio_card.h"

#include <QStringList>
#include <memory>

struct CardScript {
    quint16 boards = 1;
    std::array<quint16, 7> words{1, 0, 0, 0x300, 0, 0, 0};
    quint32 inputs = 0;      // what the next read returns
    QString initError;       // TakeError after DriverInit
    QString nextError;       // TakeError after the next call
    QStringList calls;       // "DriverInit", "Config 0", "DI8 768", "DO16 768 5", "Close"
    int reads = 0;
};

class ScriptedCard : public platform::DioCardDriver {
public:
    explicit ScriptedCard(std::shared_ptr<CardScript> script) : s_(std::move(script)) {}
    quint16 DriverInit() override {
        s_->calls << "DriverInit";
        error_ = s_->initError;
        return s_->boards;
    }
    std::array<quint16, 7> GetConfigAddressSpace(int board) override {
        s_->calls << "Config " + QString::number(board);
        return s_->words;
    }
    quint32 DI16(quint16 address) override { return read("DI16", address); }
    quint16 DI8(quint16 address) override { return quint16(read("DI8", address) & 0xFF); }
    void DO16(quint16 address, quint32 value) override { write("DO16", address, value); }
    void DO8(quint16 address, quint16 value) override { write("DO8", address, value); }
    void Close() override { s_->calls << "Close"; }
    QString TakeError() override {
        QString e = error_;
        error_.clear();
        return e;
    }

private:
    quint32 read(const char* fn, quint16 address) {
        ++s_->reads;
        s_->calls << QString(fn) + " " + QString::number(address);
        take();
        return s_->inputs;
    }
    void write(const char* fn, quint16 address, quint32 value) {
        s_->calls << QString(fn) + " " + QString::number(address) + " " + QString::number(value);
        take();
    }
    void take() {
        if (!s_->nextError.isEmpty()) error_ = s_->nextError;
        s_->nextError.clear();
    }
    std::shared_ptr<CardScript> s_;
    QString error_;
};
