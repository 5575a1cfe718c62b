#include "platform/dio_card.h"

#include <QByteArray>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <gpiod.h>
#include <vector>

namespace platform {

QList<int> ParseGpioLines(const QString& text, bool* ok) {
    QList<int> lines;
    bool good = true;
    const QString t = text.trimmed();
    if (!t.isEmpty()) {
        for (const QString& part : t.split(QLatin1Char(','))) {
            const QStringList range = part.trimmed().split(QLatin1Char('-'));
            bool a = false, b = false;
            const int from = range.value(0).trimmed().toInt(&a);
            const int to = range.size() == 2 ? range[1].trimmed().toInt(&b) : from;
            if (range.size() == 1) b = a;
            if (range.size() > 2 || !a || !b || from < 0 || to < from || to - from >= 64) {
                good = false;
                break;
            }
            for (int n = from; n <= to; ++n) lines << n;
        }
    }
    if (!good) lines.clear();
    if (ok) *ok = good;
    return lines;
}

namespace {

constexpr const char* kConsumer = "Quillon Recorder";

QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

class GpioCard final : public DioCardDriver {
public:
    explicit GpioCard(GpioCardConfig config) : config_(std::move(config)) {}
    ~GpioCard() override { Close(); }

    quint16 DriverInit() override {
        Close();
        if (config_.chip.trimmed().isEmpty()) {
            error_ = QStringLiteral("no GPIO chip configured");
            return 0;
        }
        const QByteArray name = config_.chip.trimmed().toLocal8Bit();
        chip_ = gpiod_chip_open_lookup(name.constData());
        if (!chip_) {
            error_ = QStringLiteral("GPIO chip ") + config_.chip + QStringLiteral(": ") + SystemError();
            return 0;
        }
        // An unsupported number of lines is a board of an unsupported type,
        // reported when the card is put in service.
        if (!supported()) return 1;
        if (!getLines(config_.inputs, inputs_) || !getLines(config_.outputs, outputs_)) {
            Close();
            return 0;
        }
        int flags = config_.inputsActiveLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
        if (config_.inputsBias == QLatin1String("pull-up")) flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_UP;
        else if (config_.inputsBias == QLatin1String("pull-down")) flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_DOWN;
        else if (config_.inputsBias == QLatin1String("disable")) flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_DISABLE;
        if (gpiod_line_request_bulk_input_flags(&inputs_, kConsumer, flags) != 0) {
            error_ = QStringLiteral("input lines of ") + config_.chip + QStringLiteral(": ") + SystemError();
            Close();
            return 0;
        }
        inputsRequested_ = true;
        // The relay lines are taken at the first write: until then they keep
        // whatever state they have.
        for (unsigned k = 0; k < outputs_.num_lines; ++k) {
            gpiod_line* line = outputs_.lines[k];
            gpiod_line_update(line);
            if (gpiod_line_is_used(line)) {
                error_ = QStringLiteral("output line ") + QString::number(gpiod_line_offset(line)) +
                         QStringLiteral(" of ") + config_.chip + QStringLiteral(" is used by ") +
                         QString::fromLocal8Bit(gpiod_line_consumer(line) ? gpiod_line_consumer(line) : "another program");
                Close();
                return 0;
            }
        }
        return 1;
    }

    std::array<quint16, 7> GetConfigAddressSpace(int board) override {
        std::array<quint16, 7> words{};
        words[0] = 2;
        if (board != 0 || !chip_) return words;
        if (supported()) words[0] = config_.inputs.size() == 16 ? 0 : 1;
        return words;
    }

    quint32 DI16(quint16) override { return readInputs(); }
    quint16 DI8(quint16) override { return quint16(readInputs() & 0xFF); }
    void DO16(quint16, quint32 value) override { writeOutputs(value); }
    void DO8(quint16, quint16 value) override { writeOutputs(value & 0xFF); }

    void Close() override {
        if (inputsRequested_) gpiod_line_release_bulk(&inputs_);
        if (outputsRequested_) gpiod_line_release_bulk(&outputs_);
        inputsRequested_ = outputsRequested_ = false;
        gpiod_line_bulk_init(&inputs_);
        gpiod_line_bulk_init(&outputs_);
        if (chip_) gpiod_chip_close(chip_);
        chip_ = nullptr;
    }

    QString TakeError() override {
        QString e = error_;
        error_.clear();
        return e;
    }

private:
    bool supported() const {
        const int n = int(config_.inputs.size());
        return (n == 16 || n == 8) && config_.outputs.size() == n;
    }

    bool getLines(const QList<int>& offsets, gpiod_line_bulk& bulk) {
        std::vector<unsigned> list;
        for (int o : offsets) list.push_back(unsigned(o));
        for (unsigned o : list) {
            if (o >= gpiod_chip_num_lines(chip_)) {
                error_ = QStringLiteral("GPIO chip ") + config_.chip + QStringLiteral(" has no line ") + QString::number(o);
                return false;
            }
        }
        if (gpiod_chip_get_lines(chip_, list.data(), unsigned(list.size()), &bulk) != 0) {
            error_ = QStringLiteral("lines of ") + config_.chip + QStringLiteral(": ") + SystemError();
            return false;
        }
        return true;
    }

    void report(bool failed, bool& failing, const QString& what) {
        if (failed && !failing) error_ = what + QStringLiteral(": ") + SystemError();
        failing = failed;
    }

    quint32 readInputs() {
        if (!inputsRequested_) return 0;
        int values[GPIOD_LINE_BULK_MAX_LINES] = {};
        const bool failed = gpiod_line_get_value_bulk(&inputs_, values) != 0;
        report(failed, readFailing_, QStringLiteral("inputs not readable"));
        if (failed) return 0;
        quint32 word = 0;
        for (unsigned k = 0; k < inputs_.num_lines && k < 32; ++k)
            if (values[k]) word |= 1u << k;
        return word;
    }

    void writeOutputs(quint32 word) {
        if (!chip_ || outputs_.num_lines == 0) return;
        int values[GPIOD_LINE_BULK_MAX_LINES] = {};
        for (unsigned k = 0; k < outputs_.num_lines && k < 32; ++k) values[k] = (word >> k) & 1u;
        bool failed;
        if (!outputsRequested_) {
            failed = gpiod_line_request_bulk_output(&outputs_, kConsumer, values) != 0;
            outputsRequested_ = !failed;
        } else {
            failed = gpiod_line_set_value_bulk(&outputs_, values) != 0;
        }
        report(failed, writeFailing_, QStringLiteral("outputs not written"));
    }

    GpioCardConfig config_;
    gpiod_chip* chip_ = nullptr;
    gpiod_line_bulk inputs_{};
    gpiod_line_bulk outputs_{};
    bool inputsRequested_ = false;
    bool outputsRequested_ = false;
    bool readFailing_ = false;
    bool writeFailing_ = false;
    QString error_;
};

}  // namespace

std::unique_ptr<DioCardDriver> MakeGpioCardDriver(const GpioCardConfig& config) {
    return std::make_unique<GpioCard>(config);
}

}  // namespace platform
