#include "tools/ctl/CtlRunner.h"

#include "catalogue/Identification.h"
#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"

#include <utility>

#include <QJsonArray>
#include <QJsonObject>

namespace vm::ctl {

namespace {

bool IsRepeatedAttempt(const CommReply& reply)
{
    return !IsFinalError(reply.error);
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CtlRunner::CtlRunner(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err)
    : CtlCommand(manager, options, out, err)
{
    record_.timeScale = kDefaultTimeScale;
}

CtlRunner::~CtlRunner() = default;

void CtlRunner::Begin()
{
    switch (options_.command) {
    case Command::Scan:
        station_ = options_.first;
        ScanNextStation();
        return;
    case Command::Read:
    case Command::Write:
        station_ = options_.station;
        stage_ = Stage::Transfer;
        if (options_.command == Command::Read)
            manager_.QueueRead(station_, options_.addresses[0], this);
        else
            manager_.QueueWrite(station_, options_.addresses[0], options_.value, this);
        return;
    case Command::Monitor:
        station_ = options_.station;
        stage_ = Stage::Identify;
        manager_.QueueRead(station_, kIdentificationStart, this);
        return;
    case Command::Upload:
    case Command::Download:
    case Command::Compare:
        return;  // the file commands run on the transfer engine, not here
    }
}

void CtlRunner::ScanNextStation()
{
    if (station_ > options_.last)
        return Finish(exitCode_);
    stage_ = Stage::Identify;
    record_ = StationRecord{};
    record_.station = station_;
    record_.timeScale = kDefaultTimeScale;
    probing_ = options_.quickTimeoutMs > 0;
    if (probing_)
        manager_.QueueProbe(station_, kIdentificationStart, options_.quickTimeoutMs, this);
    else
        manager_.QueueRead(station_, kIdentificationStart, this);
}

void CtlRunner::OnCommReply(int station, const CommReply& reply)
{
    if (Finished() || station != station_ || IsRepeatedAttempt(reply))
        return;
    const uint16_t address = static_cast<uint16_t>(reply.addresses[0]);
    const uint16_t value = static_cast<uint16_t>(reply.values[0]);
    if (stage_ == Stage::Identify) {
        if (std::exchange(probing_, false) && ProbeHeardSomething(reply)) {
            manager_.QueueRead(station_, address, this);
            return;
        }
        if (reply.error == kGiveUp) {
            if (options_.command == Command::Monitor && AwaitPort())
                return;
            if (options_.command == Command::Monitor)
                return Fail(reply);
            // An ID nobody answers is simply not on the line; one that stops half-way is a fault.
            if (address != kIdentificationStart) {
                err_ << station_ << ": ";
                PrintError(ReplyErrorText(reply));
                exitCode_ = kExitCommFailure;
            }
            ++station_;
            return ScanNextStation();
        }
        if (reply.error != kNoError) {
            // The station is there but refuses to say what it is.
            if (options_.command == Command::Monitor)
                return Fail(reply);
            err_ << station_ << ": ";
            PrintError(ReplyErrorText(reply));
            exitCode_ = kExitCommFailure;
            ++station_;
            return ScanNextStation();
        }
        StoreIdentification(record_, address, value);
        // The monitor shows acceleration times in the drive's own resolution.
        const TimeScaleRead scale =
            options_.command == Command::Monitor ? TimeScaleRead::Read : TimeScaleRead::Skip;
        if (const auto next = NextIdentificationRead(record_, address, scale)) {
            manager_.QueueRead(station_, *next, this);
            return;
        }
        return IdentifyDone();
    }
    if (stage_ != Stage::Transfer)
        return;
    if (reply.error != kNoError)
        return Fail(reply);
    const std::string& text = options_.addressTexts[transferIndex_];
    QJsonObject json{{"station", station_}, {"address", address}, {"value", value}};
    EmitLine(text + " " + std::to_string(value), Compact(json));
    if (options_.command == Command::Read && ++transferIndex_ < options_.addresses.size()) {
        manager_.QueueRead(station_, options_.addresses[transferIndex_], this);
        return;
    }
    Finish(kExitOk);
}

void CtlRunner::IdentifyDone()
{
    if (options_.command == Command::Monitor)
        return StartMonitor();
    PrintStation();
    ++station_;
    ScanNextStation();
}

void CtlRunner::PrintStation()
{
    const std::string model = ModelName(record_.model);
    const std::string capacity =
        CapacityText(record_.model, record_.capacity, record_.voltage, record_.version);
    const std::string version = VersionText(record_.model, record_.version);
    const QJsonObject json{{"station", station_},        {"model", Q(model)},
                           {"modelCode", record_.model}, {"capacity", Q(capacity)},
                           {"version", Q(version)},      {"versionCode", record_.version}};
    EmitLine(std::to_string(station_) + " " + model + " " + capacity + " " + version, Compact(json));
}

void CtlRunner::StartMonitor()
{
    stage_ = Stage::Monitor;
    manager_.AddListener(station_, this);
    manager_.SetPollRange(station_, station_);
    manager_.AddMonitor(station_, options_.addresses);
}

void CtlRunner::OnCommMonitor(int station, const CommReply& reply)
{
    if (Finished() || stage_ != Stage::Monitor || station != station_)
        return;
    if (reply.error == kGiveUp && AwaitPort())
        return;
    // A refused address would never complete a poll.
    if (reply.error == kGiveUp || IsModbusException(reply.error))
        return Fail(reply);
    if (reply.error != kNoError)
        return;
    if (!portDown_)
        portTrouble_ = false;
    for (int i = 0; i < reply.count && i < static_cast<int>(reply.addresses.size()); ++i)
        poll_[static_cast<uint16_t>(reply.addresses[static_cast<size_t>(i)])] =
            static_cast<uint16_t>(reply.values[static_cast<size_t>(i)]);
    for (uint16_t a : options_.addresses)
        if (!poll_.count(a))
            return;  // the poll is complete once every address has a fresh value
    PrintPoll();
}

void CtlRunner::PrintPoll()
{
    ++lines_;
    if (onPoll)
        onPoll(record_, poll_);
    std::string text;
    QJsonArray values;
    for (uint16_t a : options_.addresses) {
        const uint16_t v = poll_[a];
        const std::string shown = FormatMonitored(a, v);
        text += (text.empty() ? "" : "\t") + shown;
        QJsonObject entry{{"address", a}, {"value", v}};
        if (!options_.raw)
            entry.insert("text", Q(shown));
        values.append(entry);
    }
    poll_.clear();
    EmitLine(text, Compact(QJsonObject{{"station", station_}, {"poll", lines_}, {"values", values}}));
    if (options_.count > 0 && lines_ >= options_.count)
        Finish(kExitOk);
}

std::string CtlRunner::FormatMonitored(uint16_t address, uint16_t value) const
{
    if (options_.raw)
        return std::to_string(value);
    std::string text;
    switch (address) {
    case reg::kCapacity:  // needs the voltage class
    case reg::kAccTime:   // acceleration and deceleration times: need the time scale
    case reg::kDecTime:
    case reg::kC20AccTime:
    case reg::kC20DecTime:
        text = FormatStationValue(record_, address, value);
        break;
    default:
        text = FormatValue(address, value, record_.model, record_.version);
        break;
    }
    // Registers the catalogue has no format for are shown as numbers.
    if (text == "Unknown" && address > reg::kVersion)
        return std::to_string(value);
    return text;
}

void CtlRunner::PortLost()
{
    portDown_ = true;
    portTrouble_ = true;
}

void CtlRunner::PortRestored()
{
    portDown_ = false;
    if (awaitingPort_ && !Finished()) {
        awaitingPort_ = false;
        Reidentify();
    }
}

bool CtlRunner::AwaitPort()
{
    if (!portTrouble_ || Finished())
        return false;
    // Attempts that failed while the device was away say nothing about the station.
    if (portDown_)
        awaitingPort_ = true;
    else
        Reidentify();
    return true;
}

void CtlRunner::Reidentify()
{
    if (stage_ == Stage::Monitor) {
        // The give-up dropped the station's monitors; the listener goes too, to be added again.
        manager_.RemoveMonitor(station_, options_.addresses);
        manager_.RemoveListener(station_, this);
    }
    poll_.clear();
    record_ = StationRecord{};
    stage_ = Stage::Identify;
    manager_.QueueRead(station_, kIdentificationStart, this);
}

void CtlRunner::Interrupt()
{
    if (!Finished())
        Finish(exitCode_);
}

void CtlRunner::Fail(const CommReply& reply)
{
    PrintError(ReplyErrorText(reply));
    err_.flush();
    // The drive's refusal is an answer: scripts get its code.
    if (options_.json && IsModbusException(reply.error)) {
        const QJsonObject json{{"station", station_},
                               {"address", static_cast<int>(reply.addresses[0])},
                               {"error", reply.error},
                               {"exception", ModbusExceptionCode(reply.error)},
                               {"text", CommManager::ErrorText(reply.error)}};
        EmitLine({}, Compact(json));
    }
    Finish(kExitCommFailure);
}

void CtlRunner::Release()
{
    if (stage_ == Stage::Monitor) {
        manager_.RemoveMonitor(station_, options_.addresses);
        manager_.RemoveListener(station_, this);
    }
}

}  // namespace vm::ctl
