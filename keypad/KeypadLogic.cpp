#include "keypad/KeypadLogic.h"

#include "catalogue/Models.h"
#include "catalogue/MonitoredValue.h"
#include "catalogue/Registers.h"
#include "frames/ToolHost.h"
#include "platform/Settings.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace vm {

KeypadLogic::KeypadLogic(ToolHost& host, int station, QObject* parent)
    : QObject(parent), host_(host), comm_(host.Comm()), station_(station)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kLampMs);
    connect(&timer_, &QTimer::timeout, this, &KeypadLogic::LampTick);
}

KeypadLogic::~KeypadLogic()
{
    Unregister();
}

QString KeypadLogic::SettingsKey(int station, int display)
{
    return QStringLiteral("KPDMon/Mon Addr %1-%2").arg(station).arg(display);
}

uint16_t KeypadLogic::DefaultAddress(int model, int display)
{
    if (model == kModelQmC20)
        return display == 0 ? reg::kC20SpeedCommand : reg::kC20TorqueFeedback;
    return display == 0 ? reg::kFreqCommand : reg::kSpeed;
}

bool KeypadLogic::IsSpeedDisplay(int address, int model, int32_t value26)
{
    return vm::IsSpeedDisplay(static_cast<uint16_t>(address), model, value26);
}

DisplayFormat KeypadLogic::FormatFor(const MonitorItem* item, int model, int32_t value26)
{
    if (!item)
        return {};
    if (IsSpeedDisplay(item->address, model, value26))
        return {QStringLiteral("rpm"), 0, false};
    DisplayFormat f;
    f.unit = QString::fromStdString(item->unit);
    f.sign = item->minimum < 0;
    switch (item->scale) {
    case 1:
        f.decimals = 0;
        break;
    case 10:
        f.decimals = 1;
        break;
    case 1000:
        f.decimals = 3;
        break;
    default:
        f.decimals = 2;
        break;
    }
    return f;
}

DisplayReading KeypadLogic::Convert(uint32_t raw, const MonitorItem& item, int model, int timeScale,
                                    int32_t value26)
{
    const MonitoredValue v = ConvertMonitored(item, raw, model, timeScale, value26);
    return {v.value, v.negative};
}

LampState KeypadLogic::LampsFor(int32_t status, bool blinkPhase)
{
    const bool moving =
        (status & (reg::kStatusFault | reg::kStatusAccelerating | reg::kStatusDecelerating)) != 0;
    const bool lit = moving ? blinkPhase : true;
    const bool tripped = (status & reg::kStatusFault) != 0;
    LampState s;
    if (status & reg::kStatusStop) {
        s.forward = s.reverse = tripped && lit;
    } else {
        s.forward = (status & reg::kStatusForward) && lit;
        s.reverse = (status & reg::kStatusReverse) && lit;
    }
    s.fault = tripped;
    return s;
}

uint16_t KeypadLogic::StopResetValue(int32_t status)
{
    return (status & reg::kStatusFault) ? reg::kRunReset : reg::kRunStop;
}

QString KeypadLogic::DisplayText(double value, int decimals, bool sign)
{
    QString digits = QString::number(std::fabs(value), 'f', std::max(0, decimals));
    // A value that rounds to zero shows no minus.
    const bool negative = value < 0 && std::any_of(digits.begin(), digits.end(), [](QChar c) {
                              return c >= QLatin1Char('1') && c <= QLatin1Char('9');
                          });
    if (negative)
        return QLatin1Char('-') + digits;
    return sign ? QLatin1Char(' ') + digits : digits;
}

const MonitorItem* KeypadLogic::Item(int display) const
{
    const int i = index_[display];
    return i >= 0 && i < static_cast<int>(items_.size()) ? &items_[static_cast<size_t>(i)] : nullptr;
}

std::optional<DisplayReading> KeypadLogic::Reading(int display) const
{
    const MonitorItem* item = Item(display);
    if (!item)
        return std::nullopt;
    const StationRecord& r = host_.Record(station_);
    return Convert(raw_[display], *item, r.model, r.timeScale, r.value26);
}

const MonitorItem* KeypadLogic::EditableItem(int display) const
{
    const MonitorItem* item = Item(display);
    const StationRecord& r = host_.Record(station_);
    if (graphWatch_ || !r.connected || !item || !item->writable)
        return nullptr;
    return item;
}

QString KeypadLogic::TitleText() const
{
    if (!title_.isEmpty())
        return title_;
    return QStringLiteral("%1:%2").arg(station_).arg(
        QString::fromLatin1(ModelName(host_.Record(station_).model)));
}

QString KeypadLogic::NameText() const
{
    const QString name = host_.DeviceName(station_);
    return name.isEmpty() ? QStringLiteral("( Name :   )") : QStringLiteral("( %1 )").arg(name);
}

QString KeypadLogic::WindowTitle() const
{
    return QStringLiteral("KEY PAD - ") + TitleText();
}

void KeypadLogic::Open()
{
    const StationRecord& r = host_.Record(station_);
    title_ = TitleText();
    QSettings s(kCompanyKey, kApplicationKey);
    for (int d = 0; d < kDisplays; ++d) {
        bool ok = false;
        const uint v = s.value(SettingsKey(station_, d)).toUInt(&ok);
        address_[d] = ok && v <= 0xFFFF ? static_cast<uint16_t>(v) : DefaultAddress(r.model, d);
    }
    items_.clear();
    if (r.connected)
        items_ = BuildItemSet(r.model, r.version, kSetKeypad);
    for (int d = 0; d < kDisplays; ++d) {
        const auto it = std::find_if(items_.begin(), items_.end(),
                                     [&](const MonitorItem& i) { return i.address == address_[d]; });
        if (!items_.empty() && it == items_.end())
            address_[d] = items_.front().address;
        const auto found = std::find_if(items_.begin(), items_.end(),
                                        [&](const MonitorItem& i) { return i.address == address_[d]; });
        if (found == items_.end()) {
            address_[d] = kNoAddress;
            index_[d] = -1;
        } else {
            index_[d] = static_cast<int>(found - items_.begin());
        }
    }
    Configure();
    opened_ = true;
    graphWatch_ = host_.GraphWatch();
    if (!graphWatch_) {
        Register();
        timer_.start();
    }
    emit displaysChanged();
}

void KeypadLogic::Close()
{
    if (!opened_)
        return;
    opened_ = false;
    timer_.stop();
    Unregister();
    QSettings s(kCompanyKey, kApplicationKey);
    for (int d = 0; d < kDisplays; ++d)
        s.setValue(SettingsKey(station_, d), static_cast<uint>(address_[d]));
}

void KeypadLogic::Configure()
{
    const StationRecord& r = host_.Record(station_);
    for (int d = 0; d < kDisplays; ++d)
        format_[d] = FormatFor(Item(d), r.model, r.value26);
}

std::vector<uint16_t> KeypadLogic::Registration() const
{
    std::vector<uint16_t> out;
    for (int d = 0; d < kDisplays; ++d)
        if (index_[d] >= 0)
            out.push_back(address_[d]);
    return out;
}

void KeypadLogic::Register()
{
    if (registered_ || graphWatch_)
        return;
    registeredAddresses_ = Registration();
    if (!registeredAddresses_.empty())
        comm_.AddMonitor(station_, registeredAddresses_);
    comm_.AddListener(station_, this);
    registered_ = true;
}

void KeypadLogic::Unregister()
{
    if (!registered_)
        return;
    if (!registeredAddresses_.empty())
        comm_.RemoveMonitor(station_, registeredAddresses_);
    comm_.RemoveListener(station_, this);
    registeredAddresses_.clear();
    registered_ = false;
}

void KeypadLogic::SelectItem(int display, int index)
{
    if (display < 0 || display >= kDisplays || graphWatch_)
        return;
    Unregister();
    if (index < 0 || index >= static_cast<int>(items_.size())) {
        index_[display] = -1;
        address_[display] = kNoAddress;
    } else {
        index_[display] = index;
        address_[display] = items_[static_cast<size_t>(index)].address;
    }
    Configure();
    Register();
    // The next notification may still carry the old addresses.
    skipNext_ = true;
    emit displaysChanged();
}

void KeypadLogic::ApplyGraphWatch(bool on)
{
    if (!opened_ || on == graphWatch_)
        return;
    if (on) {
        timer_.stop();
        Unregister();
        graphWatch_ = true;
    } else {
        graphWatch_ = false;
        Register();
        timer_.start();
    }
    emit graphWatchApplied(on);
}

void KeypadLogic::LampTick()
{
    blink_ = !blink_;
    const LampState next = LampsFor(host_.Record(station_).status, blink_);
    if (next == lamps_)
        return;
    lamps_ = next;
    emit lampsChanged();
}

void KeypadLogic::ForwardRun()
{
    WriteRun(reg::kRunForward);
}

void KeypadLogic::ReverseRun()
{
    WriteRun(reg::kRunReverse);
}

void KeypadLogic::StopReset()
{
    WriteRun(StopResetValue(host_.Record(station_).status));
}

void KeypadLogic::WriteRun(uint16_t value)
{
    if (graphWatch_)
        return;
    ++pendingRuns_;
    comm_.QueueWrite(station_, reg::kRunCommand, value, this);
}

QString KeypadLogic::UnconfirmedCommandText() const
{
    if (!commandError_.isEmpty())
        return QStringLiteral("%1: the last run command did not reach the drive %2")
            .arg(WindowTitle(), commandError_);
    if (pendingRuns_ > 0)
        return QStringLiteral("%1: the drive was disconnected before it confirmed the last run command")
            .arg(WindowTitle());
    return {};
}

void KeypadLogic::OnCommReply(int station, const CommReply& reply)
{
    if (station != station_)
        return;
    // Only the final outcome of a run command counts; failed attempts are repeated. A Modbus
    // exception is the drive's final answer too.
    if (!IsFinalError(reply.error))
        return;
    pendingRuns_ = std::max(0, pendingRuns_ - 1);
    QString next = commandError_;
    if (reply.error == kNoError)
        next.clear();
    else
        next = QStringLiteral("*** %1 ***")
                   .arg(QString::fromLatin1(
                       CommManager::ErrorText(reply.error == kGiveUp ? reply.lastError : reply.error)));
    if (next == commandError_)
        return;
    commandError_ = next;
    emit commandErrorChanged();
}

void KeypadLogic::OnCommMonitor(int station, const CommReply& reply)
{
    if (station != station_)
        return;
    // The manager has dropped this station's registrations; removing them again later would
    // take away other windows' references.
    if (reply.error == kGiveUp) {
        registered_ = false;
        registeredAddresses_.clear();
    }
    if (skipNext_) {
        skipNext_ = false;
        return;
    }
    if (reply.error == kNoError) {
        for (int i = 0; i < std::min(reply.count, static_cast<int>(reply.addresses.size())); ++i)
            for (int d = 0; d < kDisplays; ++d)
                if (index_[d] >= 0 && reply.addresses[i] == address_[d])
                    raw_[d] = reply.values[i];
    }
    emit displaysChanged();
}

}  // namespace vm
