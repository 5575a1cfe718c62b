#pragma once
// The digital I/O card: contacts wired to its inputs start, pause and stop
// recorders (ContactOn); its relays are set from the outputs wanted. The
// inputs are polled every 50 ms while the card is in service.
//
// The card is a GPIO chip, configured in section "P8R8" of the settings
// file: "Chip", "Inputs", "Outputs", "InputsActiveLow", "InputsBias".
#include "platform/dio_card.h"

#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

struct CardState {
    quint16 BoardCount = 0;
    bool CardSimulated = false;
    qint16 CardType = 0;  // 0: 16 inputs and relays, 1: 8 and 8, 2: not supported
    quint16 CardAddress = 0;
    std::array<quint16, 7> ConfigWords{};
    QString LastInputs;  // the input list last traced
    // The card can be put in service (a driver, or the card simulated), is in
    // service, shows its panels; the type shown (0, 1, 2 not supported).
    bool Available = false;
    bool InService = false;
    bool PanelsEnabled = false;
    int TypeEntry = 2;
    // Inputs closed (bit n: input n), relays wanted.
    quint16 Inputs = 0;
    quint16 Outputs = 0;
    // The setup window shows the card again (it sets this).
    std::function<void()> Changed;
};
CardState& Card();
QTimer& TimerP8R8();

// The driver the card is reached through (made at InitGeneralP8R8).
using CardDriverFactory = std::function<std::unique_ptr<platform::DioCardDriver>()>;

// The driver factory of the card (the default makes the GPIO card of the
// settings); the port closes when the application quits. Called at start-up
// before the setup window loads, and by tests.
void InstallIoCard(CardDriverFactory factory = {});

// The GPIO lines of the card, from section "P8R8" of the settings file.
platform::GpioCardConfig GpioCardConfigFromSettings();

void InitGeneralP8R8();
void CheckP8R8Actif_Click();
// The card put in service or out of it (the setup window's box).
void SetCardInService(bool on);
// The relays wanted (bit n: relay n), written to the card.
void SetCardOutputs(quint16 bits);
void TimerP8R8_Timer();
void SendP8R8();
// At unload: the polling stops and the driver is closed.
void CloseP8R8();

// Tests: card state back to its start, timer stopped, driver dropped.
void ResetIoCard();
