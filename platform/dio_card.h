#pragma once
// The digital I/O card driver: initialise, configuration of board 0, read
// the inputs, write the outputs. Card types: 0 = 16 inputs and 16 relays,
// 1 = 8 inputs and 8 relays, 2 and above = not supported.
//
// The Linux backend drives a GPIO chip through the kernel's GPIO character
// device (libgpiod): the configured input lines are the card's inputs (bit i
// = line i of the list), the output lines its relays.
#include <QList>
#include <QString>
#include <array>
#include <memory>

namespace platform {

class DioCardDriver {
public:
    virtual ~DioCardDriver() = default;
    // Opens the driver; the number of boards found (0: none).
    virtual quint16 DriverInit() = 0;
    // Seven configuration words of a board: word 0 the card type, word 3 the
    // address that the input and output calls take.
    virtual std::array<quint16, 7> GetConfigAddressSpace(int board) = 0;
    // Input word: bit i = input i closed (0..15, or 0..7).
    virtual quint32 DI16(quint16 address) = 0;
    virtual quint16 DI8(quint16 address) = 0;
    // Output word: bit i = relay i on.
    virtual void DO16(quint16 address, quint32 value) = 0;
    virtual void DO8(quint16 address, quint16 value) = 0;
    // Releases the board.
    virtual void Close() = 0;
    // What went wrong since the last call, once ("" when nothing new): why
    // no board was found, or a read or write that failed. A failure that
    // repeats is reported again only after a call succeeded.
    virtual QString TakeError() = 0;
};

// Which GPIO lines make the card.
struct GpioCardConfig {
    QString chip;            // /dev/gpiochipN, gpiochipN, N or the chip's label; "" = no card
    QList<int> inputs;       // line offsets, input 0 first
    QList<int> outputs;      // line offsets, relay 0 first
    bool inputsActiveLow = false;  // a closed contact pulls the line low
    QString inputsBias;      // "", "pull-up", "pull-down" or "disable"
};

// "0-15", "0,1,2,3", "16-23,30": line offsets in order; ok = false for a
// text that is not such a list (empty text: an empty list, ok).
QList<int> ParseGpioLines(const QString& text, bool* ok);

// The card on a GPIO chip.
std::unique_ptr<DioCardDriver> MakeGpioCardDriver(const GpioCardConfig& config);

}  // namespace platform
