#include "monitor/InfoSheetLogic.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/Registers.h"

#include <array>

namespace vm {

namespace {

constexpr int kSpeedModel = kModelQmC20;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::vector<InfoBitBox> BoxesOf(int model, int version, int set)
{
    std::vector<InfoBitBox> boxes;
    for (const MonitorItem& item : BuildItemSet(model, version, set))
        boxes.push_back(
            {set == kSetFaults ? InfoFaultBoxText(item.name) : Q(item.name), item.address, item.bitIndex});
    return boxes;
}

}  // namespace

QString InfoSheetTitle(const StationRecord& r, const QString& deviceName, bool graphWatch)
{
    QString title = QStringLiteral("%1 : %2 (%3) Ver%4")
                        .arg(r.station)
                        .arg(Q(FormatStationValue(r, reg::kModel, r.model)),
                             Q(FormatStationValue(r, reg::kCapacity, r.capacity)),
                             Q(FormatStationValue(r, reg::kVersion, r.version)));
    const QString name = deviceName.trimmed();
    if (!name.isEmpty())
        title += QStringLiteral(" - ") + name;
    if (graphWatch)
        title = QStringLiteral("Graph Watch Mode - ") + title;
    return title;
}

QString InfoDisconnectedTitle(int station)
{
    return QStringLiteral("No. %1 inverter is disconnected").arg(station);
}

std::vector<uint16_t> InfoGenAddresses(int model)
{
    if (model == kSpeedModel)
        return {reg::kC20SpeedCommand, reg::kC20AccTime, reg::kC20DecTime, reg::kCurrent,
                reg::kC20Speed,        reg::kPower,      reg::kStatus,     reg::kDcLink};
    return {reg::kFreqCommand, reg::kAccTime, reg::kDecTime, reg::kCurrent,
            reg::kSpeed,       reg::kPower,   reg::kStatus,  reg::kDcLink};
}

QString InfoGenLabel(int slot, int model)
{
    static const std::array<const char*, kGenSlotCount> labels = {
        "Freq. Command:",  "Acc. Time:",    "Dec. Time:",      "Output Frequency:",
        "Output Current:", "Output Power:", "Running Status:", "DC-Link Voltage:",
    };
    if (slot < 0 || slot >= kGenSlotCount)
        return {};
    if (model == kSpeedModel && slot == kGenFreqCommand)
        return QStringLiteral("지령속도:");
    if (model == kSpeedModel && slot == kGenOutputFreq)
        return QStringLiteral("출력속도:");
    return QString::fromLatin1(labels[slot]);
}

std::optional<InfoGenText> InfoGenValueText(const StationRecord& record, uint32_t address, uint32_t value)
{
    // The main window stores current, speed and status as it gets them; a copy brought up to
    // date keeps this page right whichever listener hears the reply first.
    StationRecord r;
    r.model = record.model;
    r.version = record.version;
    r.timeScale = record.timeScale;
    r.value26 = record.value26;
    r.current = record.current;
    r.speed = record.speed;
    r.status = record.status;
    const auto v = static_cast<int32_t>(value);
    auto text = [&](int slot, int as) { return InfoGenText{slot, Q(FormatStationValue(r, as, v))}; };
    switch (address) {
    case reg::kFreqCommand:
        return text(kGenFreqCommand, reg::kFreqCommand);
    case reg::kC20SpeedCommand:
        return text(kGenFreqCommand, reg::kC20SpeedCommand);
    case reg::kAccTime:
    case reg::kC20AccTime:
        return text(kGenAccTime, reg::kAccTime);
    case reg::kDecTime:
    case reg::kC20DecTime:
        return text(kGenDecTime, reg::kDecTime);
    case reg::kCurrent:
        r.current = v;
        return text(kGenOutputCurrent, reg::kCurrent);
    case reg::kSpeed:
        r.speed = v;
        return text(kGenOutputFreq, r.value26 != 0 ? reg::kRpm : reg::kSpeed);
    case reg::kC20Speed:
        r.speed = v;
        return text(kGenOutputFreq, reg::kC20Speed);
    case reg::kDcLink:
        return text(kGenDcLink, reg::kDcLink);
    case reg::kPower:
        return text(kGenOutputPower, reg::kPower);
    case reg::kStatus:
        r.status = v;
        return text(kGenRunningStatus, reg::kStatus);
    default:
        return std::nullopt;
    }
}

std::optional<QString> InfoNameToApply(const QString& typed, const QString& current)
{
    const QString name = typed.trimmed();
    if (name == current)
        return std::nullopt;
    return name;
}

std::vector<uint16_t> InfoIOAddresses()
{
    return {reg::kTerminals, reg::kOutputs};
}

std::vector<InfoBitBox> InfoInputBoxes(int model, int version)
{
    return BoxesOf(model, version, kSetInputTerminals);
}

std::vector<InfoBitBox> InfoOutputBoxes(int model, int version)
{
    return BoxesOf(model, version, kSetOutputTerminals);
}

std::vector<uint16_t> InfoFaultAddresses(int model, int version)
{
    if (HasSecondFaultWord(model, version))
        return {reg::kFault, reg::kFault2};
    return {reg::kFault};
}

std::vector<InfoBitBox> InfoFaultBoxes(int model, int version)
{
    return BoxesOf(model, version, kSetFaults);
}

QString InfoFaultBoxText(const std::string& name)
{
    QString text = Q(name);
    const auto paren = text.indexOf(QLatin1Char('('));
    if (paren > 0)
        text.truncate(paren);
    return text.trimmed();
}

void InfoApplyWord(const std::vector<InfoBitBox>& boxes, uint32_t address, uint32_t word,
                   std::vector<bool>& states)
{
    for (size_t i = 0; i < boxes.size() && i < states.size(); ++i)
        if (boxes[i].address == address)
            states[i] = (word >> (boxes[i].bit % 32)) & 1u;
}

}  // namespace vm
