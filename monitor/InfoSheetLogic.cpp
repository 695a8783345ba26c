#include "monitor/InfoSheetLogic.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"

#include <array>

namespace vm {

namespace {

constexpr int kSpeedModel = 5;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::vector<InfoBitBox> BoxesOf(int model, int version, int set)
{
    std::vector<InfoBitBox> boxes;
    for (const MonitorItem& item : BuildItemSet(model, version, set))
        boxes.push_back({set == kSetFaults ? InfoFaultBoxText(item.name) : Q(item.name), item.address, item.bitIndex});
    return boxes;
}

}  // namespace

QString InfoSheetTitle(const StationRecord& r, const QString& deviceName, bool graphWatch)
{
    QString title = QStringLiteral("%1 : %2 (%3) Ver%4")
                        .arg(r.station)
                        .arg(Q(FormatStationValue(r, 0, r.model)), Q(FormatStationValue(r, 1, r.capacity)),
                             Q(FormatStationValue(r, 3, r.version)));
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
        return {1282, 1283, 1284, 9, 32, 13, 14, 12};
    return {5, 7, 8, 9, 10, 13, 14, 12};
}

QString InfoGenLabel(int slot, int model)
{
    static const std::array<const char*, kGenSlotCount> labels = {
        "Freq. Command:", "Acc. Time:", "Dec. Time:", "Output Frequency:",
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
    case 5:
        return text(kGenFreqCommand, 5);
    case 1282:
        return text(kGenFreqCommand, 1282);
    case 7:
    case 1283:
        return text(kGenAccTime, 7);
    case 8:
    case 1284:
        return text(kGenDecTime, 8);
    case 9:
        r.current = v;
        return text(kGenOutputCurrent, 9);
    case 10:
        r.speed = v;
        return text(kGenOutputFreq, r.value26 != 0 ? 21 : 10);
    case 32:
        r.speed = v;
        return text(kGenOutputFreq, 32);
    case 12:
        return text(kGenDcLink, 12);
    case 13:
        return text(kGenOutputPower, 13);
    case 14:
        r.status = v;
        return text(kGenRunningStatus, 14);
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

std::vector<uint16_t> InfoIOAddresses() { return {16, 17}; }

std::vector<InfoBitBox> InfoInputBoxes(int model, int version) { return BoxesOf(model, version, kSetInputTerminals); }

std::vector<InfoBitBox> InfoOutputBoxes(int model, int version) { return BoxesOf(model, version, kSetOutputTerminals); }

std::vector<uint16_t> InfoFaultAddresses(int model, int version)
{
    if (HasSecondFaultWord(model, version))
        return {15, 29};
    return {15};
}

std::vector<InfoBitBox> InfoFaultBoxes(int model, int version) { return BoxesOf(model, version, kSetFaults); }

QString InfoFaultBoxText(const std::string& name)
{
    QString text = Q(name);
    const auto paren = text.indexOf(QLatin1Char('('));
    if (paren > 0)
        text.truncate(paren);
    return text.trimmed();
}

void InfoApplyWord(const std::vector<InfoBitBox>& boxes, uint32_t address, uint32_t word, std::vector<bool>& states)
{
    for (size_t i = 0; i < boxes.size() && i < states.size(); ++i)
        if (boxes[i].address == address)
            states[i] = (word >> (boxes[i].bit % 32)) & 1u;
}

}  // namespace vm
