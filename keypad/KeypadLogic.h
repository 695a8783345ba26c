#pragma once
// What a keypad decides, without widgets: the run commands it writes, the two monitored items it
// registers and how their raw values are shown, the lamps it lights from the station's status word,
// the monitored addresses it remembers per station, and what it does in graph watch mode. The
// keypad window only draws this state and forwards the operator's presses.

#include "catalogue/MonitorItems.h"
#include "comm/CommManager.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vm {

class ToolHost;

// How a seven-segment display is set up for its item.
struct DisplayFormat {
    QString unit;
    int decimals = 0;
    bool sign = false;  // a sign column is shown
    bool operator==(const DisplayFormat&) const = default;
};

// A value as handed to a display; some items switch the sign column per value.
struct DisplayReading {
    double value = 0;
    std::optional<bool> sign;
};

struct LampState {
    bool forward = false;
    bool reverse = false;
    bool fault = false;
    bool operator==(const LampState&) const = default;
};

class KeypadLogic : public QObject, public CommClient {
    Q_OBJECT
public:
    static constexpr int kDisplays = 2;
    static constexpr int kLampMs = 300;
    static constexpr uint16_t kNoAddress = 65535;

    KeypadLogic(ToolHost& host, int station, QObject* parent = nullptr);
    ~KeypadLogic() override;

    // Reads the remembered items, builds the item list, registers and starts the lamp timer.
    void Open();
    // Stops the timer, unregisters and remembers both items.
    void Close();

    // The run commands; nothing is sent in graph watch mode.
    void ForwardRun();
    void ReverseRun();
    void StopReset();
    bool CommandsEnabled() const { return !graphWatch_; }

    // The operator picked entry `index` of display `display`'s list (-1: none).
    void SelectItem(int display, int index);
    // Applies the program's graph watch flag: releases or restores the registrations.
    void ApplyGraphWatch(bool on);
    // One 300 ms lamp step (the timer calls it).
    void LampTick();

    int Station() const { return station_; }
    const std::vector<MonitorItem>& Items() const { return items_; }
    int Index(int display) const { return index_[display]; }
    // -1 when the display monitors nothing.
    int Address(int display) const { return address_[display] == kNoAddress ? -1 : address_[display]; }
    uint32_t Raw(int display) const { return raw_[display]; }
    const MonitorItem* Item(int display) const;
    DisplayFormat Format(int display) const { return format_[display]; }
    // Nothing when the display has no item.
    std::optional<DisplayReading> Reading(int display) const;
    LampState Lamps() const { return lamps_; }
    bool TimerActive() const { return timer_.isActive(); }
    bool Registered() const { return registered_; }
    bool GraphWatchActive() const { return graphWatch_; }
    // "*** %s ***" after a run command that never reached the drive, until one succeeds.
    QString CommandError() const { return commandError_; }
    // A run command was queued and its final reply has not come yet.
    bool RunCommandPending() const { return pendingRuns_ > 0; }
    // What the operator must still be told when the keypad goes away, or nothing.
    QString UnconfirmedCommandText() const;
    // The item the edit dialog may change on this display, or nothing.
    const MonitorItem* EditableItem(int display) const;

    // "%d:%s", fixed when the keypad opens: the record is cleared before a disconnection is told.
    QString TitleText() const;
    QString NameText() const;  // "( %s )"
    QString WindowTitle() const;

    // Rules of the displays and lamps, usable without a keypad.
    static QString SettingsKey(int station, int display);
    static uint16_t DefaultAddress(int model, int display);
    static bool IsSpeedDisplay(int address, int model, int32_t value26);
    static DisplayFormat FormatFor(const MonitorItem* item, int model, int32_t value26);
    static DisplayReading Convert(uint32_t raw, const MonitorItem& item, int model, int timeScale,
                                  int32_t value26);
    static LampState LampsFor(int32_t status, bool blinkPhase);
    static uint16_t StopResetValue(int32_t status);
    // Digits as a display shows them: fixed decimals, a leading '-' or blank in the sign column.
    static QString DisplayText(double value, int decimals, bool sign);

signals:
    void displaysChanged();
    void lampsChanged();
    void commandErrorChanged();
    void graphWatchApplied(bool on);

protected:
    void OnCommMonitor(int station, const CommReply& reply) override;
    void OnCommReply(int station, const CommReply& reply) override;

private:
    void Register();
    void Unregister();
    void Configure();
    void WriteRun(uint16_t value);
    std::vector<uint16_t> Registration() const;

    ToolHost& host_;
    CommManager& comm_;
    const int station_;
    std::vector<MonitorItem> items_;
    std::array<uint16_t, kDisplays> address_{kNoAddress, kNoAddress};
    std::array<int, kDisplays> index_{-1, -1};
    std::array<uint32_t, kDisplays> raw_{0, 0};
    std::array<DisplayFormat, kDisplays> format_{};
    std::vector<uint16_t> registeredAddresses_;
    bool registered_ = false;
    bool skipNext_ = false;
    bool blink_ = false;
    bool graphWatch_ = false;
    bool opened_ = false;
    int pendingRuns_ = 0;
    LampState lamps_;
    QString commandError_;
    QString title_;
    QTimer timer_;
};

}  // namespace vm
