#pragma once
// What the inverter information sheet shows, without widgets: the address lists its pages
// register, the sheet title, the running-status texts, the terminal and fault boxes and the
// device-name rule. The pages in InfoSheet.h only put these on screen.

#include "catalogue/StationRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vm {

inline constexpr int kInfoNameMaxLength = 15;
inline constexpr int kInfoInputBoxes = 11;
inline constexpr int kInfoOutputBoxes = 8;
inline constexpr int kInfoFaultBoxes = 20;

// "%d : %s (%s) Ver%s - %s" (no " - %s" without a device name); "Graph Watch Mode - " first
// while graph watch mode is on.
QString InfoSheetTitle(const StationRecord& record, const QString& deviceName, bool graphWatch);
// "No. %d inverter is disconnected"
QString InfoDisconnectedTitle(int station);

// The eight value texts of the running-status page, in screen order.
enum InfoGenSlot : int {
    kGenFreqCommand,
    kGenAccTime,
    kGenDecTime,
    kGenOutputFreq,
    kGenOutputCurrent,
    kGenOutputPower,
    kGenRunningStatus,
    kGenDcLink,
    kGenSlotCount,
};

// Registration order: 5, 7, 8, 9, 10, 13, 14, 12; model 5 reads speeds instead of frequencies.
std::vector<uint16_t> InfoGenAddresses(int model);
// The caption beside a value text; model 5 names the first and fourth as speeds.
QString InfoGenLabel(int slot, int model);

struct InfoGenText {
    int slot = 0;
    QString text;
};
// The text a monitored value puts into its slot; nothing for addresses the page does not show.
std::optional<InfoGenText> InfoGenValueText(const StationRecord& record, uint32_t address, uint32_t value);

// The name "&Apply" stores: the typed text trimmed; nothing when it equals the current name.
std::optional<QString> InfoNameToApply(const QString& typed, const QString& current);

// One check box of the terminal or fault page: the word it follows and its bit there.
struct InfoBitBox {
    QString text;
    uint16_t address = 0;
    uint16_t bit = 0;
};

// Terminal page: input terminals (bits of address 16), output terminals (bits of address 17).
std::vector<uint16_t> InfoIOAddresses();
std::vector<InfoBitBox> InfoInputBoxes(int model, int version);
std::vector<InfoBitBox> InfoOutputBoxes(int model, int version);

// Fault page: fault word 15, and 29 where the model has a second fault word.
std::vector<uint16_t> InfoFaultAddresses(int model, int version);
std::vector<InfoBitBox> InfoFaultBoxes(int model, int version);
// A fault name cut before its "(" (unless the name starts with it), trimmed.
QString InfoFaultBoxText(const std::string& name);

// New check state of every box following the word at address; boxes following another word keep
// their entry in states. states must have one entry per box.
void InfoApplyWord(const std::vector<InfoBitBox>& boxes, uint32_t address, uint32_t word,
                   std::vector<bool>& states);

}  // namespace vm
