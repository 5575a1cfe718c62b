// The digital I/O card: driver opening, putting in service, polling of the
// inputs, writing of the relays.
#include "remote/io_card.h"

#include "core/local_inputs.h"
#include "recording/recording.h"
#include "support/app_globals.h"
#include "support/errors.h"
#include "support/ini.h"
#include "support/tracelog.h"

#include <QCoreApplication>

namespace {

constexpr int kPollMs = 50;

struct CardModule {
    CardState state;
    QTimer* timer = nullptr;
    CardDriverFactory factory;
    std::unique_ptr<platform::DioCardDriver> driver;
    bool polling = false;  // a poll is running (contacts let events run)
    bool installed = false;
};

CardModule& M() {
    static CardModule module;
    return module;
}

void TraceCard(const QString& text) { TraceLog(-1, -1, -1, text, false, true); }

// A driver failure is an incident: the contacts or relays no longer work.
void ReportDriverError() {
    if (!M().driver) return;
    const QString e = M().driver->TakeError();
    if (!e.isEmpty()) TraceLogEncadre(-1, -1, -1, QStringLiteral("Err: P8R8: ") + e, QStringLiteral("="), true);
}

int LastLine(int type) { return type == 0 ? 15 : (type == 1 ? 7 : -1); }

void Shown() {
    if (Card().Changed) Card().Changed();
}

void SetPanels(bool enabled) {
    Card().PanelsEnabled = enabled;
    Shown();
}

void SetTypeShown(int entry) {
    Card().TypeEntry = entry;
    Shown();
}

}  // namespace

CardState& Card() { return M().state; }

QTimer& TimerP8R8() {
    if (!M().timer) {
        M().timer = new QTimer;
        M().timer->setInterval(kPollMs);
        QObject::connect(M().timer, &QTimer::timeout, [] { TimerP8R8_Timer(); });
    }
    return *M().timer;
}

platform::GpioCardConfig GpioCardConfigFromSettings() {
    const QString file = NomFichierSettings(".Ini", "");
    auto read = [&](const char* key) { return LectureIni(file, QStringLiteral("P8R8"), QLatin1String(key), QString()).trimmed(); };
    platform::GpioCardConfig c;
    c.chip = read("Chip");
    bool ok = true;
    c.inputs = platform::ParseGpioLines(read("Inputs"), &ok);
    c.outputs = platform::ParseGpioLines(read("Outputs"), &ok);
    c.inputsActiveLow = read("InputsActiveLow") == QLatin1String("1");
    c.inputsBias = read("InputsBias").toLower();
    return c;
}

void InstallIoCard(CardDriverFactory factory) {
    M().factory = factory ? std::move(factory) : CardDriverFactory([] {
        return platform::MakeGpioCardDriver(GpioCardConfigFromSettings());
    });
    if (M().installed) return;
    M().installed = true;
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { CloseP8R8(); });
}

void InitGeneralP8R8() {
    ErrorTrap trap(QStringLiteral("FrmSetup:InitGeneralP8R8"));
    CardState& card = Card();
    trap(10, [&] {
        card.PanelsEnabled = false;
        SetTypeShown(2);
    });
    trap(20, [&] {
        M().driver = M().factory ? M().factory() : nullptr;
        card.BoardCount = M().driver ? M().driver->DriverInit() : 0;
    });
    QString why;
    trap(30, [&] {
        if (M().driver) why = M().driver->TakeError();
    });
    trap(40, [&] {
        if (card.BoardCount != 0) {
            card.Available = true;
            Shown();
            CheckP8R8Actif_Click();
        } else if (App().UseDefaultRoot) {
            card.CardSimulated = true;
            if (!why.isEmpty()) TraceCard(QStringLiteral("P8R8: ") + why + QStringLiteral(": card simulated"));
            card.Available = true;
            Shown();
            CheckP8R8Actif_Click();
        } else {
            if (!why.isEmpty()) TraceCard(QStringLiteral("P8R8: ") + why);
            TraceCard(QStringLiteral("P8R8: Driver Open Error"));
            card.Available = false;
            Shown();
        }
    });
    trap(50, [&] {
        // The in-service box is not stored: a station that runs unattended
        // puts the card in service from its environment.
        if (qEnvironmentVariable("QUILLON_P8R8_ACTIF") == QLatin1String("1") && card.Available && !card.InService)
            SetCardInService(true);
    });
}

void SetCardInService(bool on) {
    if (on && !Card().Available) return;
    const bool changed = on != Card().InService;
    Card().InService = on;
    Shown();
    if (changed) CheckP8R8Actif_Click();
}

void SetCardOutputs(quint16 bits) {
    Card().Outputs = bits;
    SendP8R8();
}

void CheckP8R8Actif_Click() {
    ErrorTrap trap(QStringLiteral("FrmSetup:CheckP8R8Actif_Click"));
    CardState& card = Card();
    if (!card.InService) {
        trap(10, [&] {
            TimerP8R8().stop();
            SetPanels(false);
        });
        return;
    }
    if (card.CardSimulated) {
        trap(20, [&] {
            TimerP8R8().start();
            SetPanels(true);
        });
        return;
    }
    trap(30, [&] {
        if (!M().driver) RaiseError(91, QStringLiteral("Object variable or With block variable not set"));
        card.ConfigWords = M().driver->GetConfigAddressSpace(0);
        card.CardAddress = card.ConfigWords[3];
        card.CardType = qint16(card.ConfigWords[0]);
    });
    trap(40, [&] {
        if (card.CardType > 1) {
            card.CardType = 2;
            SetTypeShown(2);
            TraceCard(QStringLiteral("Err: P8R8: Active board Error"));
        } else {
            SetTypeShown(card.CardType);
            TimerP8R8().start();
            SetPanels(true);
        }
    });
}

void TimerP8R8_Timer() {
    ErrorTrap trap(QStringLiteral("FrmSetup:TimerP8R8_Timer"));
    CardModule& m = M();
    CardState& card = m.state;
    if (ProgramQuitting()) {
        TimerP8R8().stop();
        return;
    }
    if (card.CardSimulated || m.polling || !m.driver) return;
    m.polling = true;
    quint32 value = 0;
    const int last = LastLine(card.CardType);
    trap(10, [&] {
        if (card.CardType == 0) value = m.driver->DI16(card.CardAddress);
        else if (card.CardType == 1) value = m.driver->DI8(card.CardAddress);
    });
    trap(20, [&] { ReportDriverError(); });
    QString list;
    for (int i = 0; i <= last; ++i) {
        trap(30, [&] {
            const quint16 bit = quint16(1u << i);
            if (value & bit) {
                // Only the closing edge runs a command.
                if (!(card.Inputs & bit)) {
                    card.Inputs |= bit;
                    Shown();
                    ContactOn(0, i);
                }
                list += QString::number(i) + QStringLiteral(",");
            } else if (card.Inputs & bit) {
                card.Inputs &= quint16(~bit);
                Shown();
            }
        });
    }
    trap(40, [&] {
        if (list != card.LastInputs) {
            TraceCard(list.trimmed().isEmpty() ? QStringLiteral("P8R8: No more reception")
                                               : QStringLiteral("P8R8: Receipt on: ") + list);
            card.LastInputs = list;
        }
    });
    m.polling = false;
}

void SendP8R8() {
    ErrorTrap trap(QStringLiteral("FrmSetup:SendP8R8"));
    CardState& card = Card();
    if (card.CardType > 1) return;
    const int last = LastLine(card.CardType);
    quint32 value = 0;
    trap(10, [&] {
        for (int i = 0; i <= last; ++i)
            if (card.Outputs & (1u << i)) value |= 1u << i;
    });
    trap(20, [&] { TraceCard(QStringLiteral("P8R8: Send on: ") + QString::number(value)); });
    trap(30, [&] {
        if (card.CardSimulated || !M().driver) return;
        if (card.CardType == 0) M().driver->DO16(card.CardAddress, value);
        else M().driver->DO8(card.CardAddress, quint16(value));
    });
    trap(40, [&] { ReportDriverError(); });
}

void CloseP8R8() {
    ErrorTrap trap(QStringLiteral("FrmSetup:CloseP8R8"));
    trap(10, [&] { TimerP8R8().stop(); });
    trap(20, [&] {
        if (M().driver) M().driver->Close();
    });
}

void ResetIoCard() {
    if (M().timer) M().timer->stop();
    if (M().driver) M().driver->Close();
    M().driver.reset();
    auto changed = M().state.Changed;
    M().state = CardState{};
    M().state.Changed = changed;
    M().polling = false;
}
