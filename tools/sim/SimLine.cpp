#include "tools/sim/SimLine.h"

#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "tools/common/ParseNumber.h"

#include <algorithm>
#include <sstream>

namespace vm::sim {

using tools::ParseNumber;

namespace {

constexpr size_t kKxFrameMax = 300;
constexpr size_t kModbusFrameMax = 256;
constexpr uint8_t kReadHolding = 0x03;
constexpr uint8_t kWriteMultiple = 0x10;
constexpr int kMaxReadCount = 125;
constexpr int kMaxWriteCount = 123;

// Modbus exception codes.
constexpr int kExIllegalFunction = 1;
constexpr int kExIllegalAddress = 2;
constexpr int kExIllegalValue = 3;
constexpr int kExDeviceFailure = 4;

const char* NakCode(Access access)
{
    switch (access) {
    case Access::IllegalAddress:
        return "IA";
    case Access::DataRange:
        return "ID";
    case Access::WriteMode:
        return "WM";
    case Access::Ok:
        break;
    }
    return "FE";
}

int ExceptionCode(Access access)
{
    switch (access) {
    case Access::IllegalAddress:
        return kExIllegalAddress;
    case Access::DataRange:
        return kExIllegalValue;
    case Access::WriteMode:
        return kExDeviceFailure;
    case Access::Ok:
        break;
    }
    return kExDeviceFailure;
}

std::vector<uint8_t> ToBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

uint16_t Word(std::span<const uint8_t> f, size_t pos)
{
    return static_cast<uint16_t>(f[pos] << 8 | f[pos + 1]);
}

void PutWord(std::vector<uint8_t>& f, uint16_t w)
{
    f.push_back(static_cast<uint8_t>(w >> 8));
    f.push_back(static_cast<uint8_t>(w & 0xFF));
}

std::vector<std::string> Words(std::string_view line)
{
    std::istringstream in{std::string(line)};
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

}  // namespace

SimLine::SimLine(Protocol protocol, const LineFaults& faults)
    : protocol_(protocol), faults_(faults), random_(faults.seed)
{}

SimDrive* SimLine::AddStation(const DriveIdentity& identity, const std::vector<ParamRegister>& params)
{
    if (identity.station < 1 || identity.station > 255 || stations_.count(identity.station))
        return nullptr;
    auto drive = std::make_unique<SimDrive>(identity, params);
    SimDrive* raw = drive.get();
    stations_[identity.station] = std::move(drive);
    return raw;
}

SimDrive* SimLine::Station(int id)
{
    auto it = stations_.find(id);
    return it == stations_.end() ? nullptr : it->second.get();
}

std::vector<int> SimLine::StationIds() const
{
    std::vector<int> ids;
    for (const auto& [id, drive] : stations_)
        ids.push_back(id);
    return ids;
}

SimDrive* SimLine::Listening(int station)
{
    SimDrive* drive = Station(station);
    return drive && !drive->Silenced() ? drive : nullptr;
}

void SimLine::AdvanceTo(int64_t nowMs)
{
    if (nowMs > advancedMs_) {
        for (auto& [id, drive] : stations_)
            drive->Advance(nowMs - advancedMs_);
        advancedMs_ = nowMs;
    }
    nowMs_ = std::max(nowMs_, nowMs);
}

void SimLine::Receive(std::span<const uint8_t> bytes, int64_t nowMs)
{
    AdvanceTo(nowMs);
    if (bytes.empty())
        return;
    if (faults_.echo)
        Schedule(nowMs, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    if (!rx_.empty() && nowMs - lastRxMs_ > kFrameGapMs) {
        counters_.discarded += rx_.size();
        rx_.clear();
    }
    lastRxMs_ = nowMs;
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    for (;;) {
        const Found found = FindFrame();
        if (found.step == Step::NeedMore)
            break;
        if (found.step == Step::Skip) {
            ++counters_.discarded;
            rx_.erase(rx_.begin());
            continue;
        }
        const std::vector<uint8_t> frame(rx_.begin(), rx_.begin() + static_cast<long>(found.length));
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(found.length));
        if (found.kx485)
            HandleKx485(frame);
        else
            HandleModbus(frame);
    }
}

SimLine::Found SimLine::FindFrame() const
{
    if (rx_.empty())
        return {};
    const bool enq = rx_[0] == kx485::kEnq;
    switch (protocol_) {
    case Protocol::Kx485:
        return enq ? FindKx485() : Found{Step::Skip};
    case Protocol::Modbus:
        return FindModbus();
    case Protocol::Auto:
        break;
    }
    // ENQ also opens a Modbus frame to station 5; its function byte is no hex digit.
    if (!enq)
        return FindModbus();
    if (rx_.size() < 2)
        return {};
    return kx485::HexDigit(rx_[1]) >= 0 ? FindKx485() : FindModbus();
}

SimLine::Found SimLine::FindKx485() const
{
    for (size_t i = 1; i < rx_.size() && i < kKxFrameMax; ++i) {
        if (rx_[i] == kx485::kEot)
            return {Step::Frame, i + 1, true};
        if (rx_[i] == kx485::kEnq)
            return {Step::Skip};  // a new request begins: the one before was cut off
    }
    return {rx_.size() >= kKxFrameMax ? Step::Skip : Step::NeedMore};
}

SimLine::Found SimLine::FindModbus() const
{
    if (rx_.size() < 2)
        return {};
    size_t length = 0;
    switch (rx_[1]) {
    case kReadHolding:
    case modbus::kReadInput:
    case modbus::kWriteSingle:
        length = 8;
        break;
    case kWriteMultiple:
        if (rx_.size() < 7)
            return {};
        length = 9u + rx_[6];
        break;
    default:
        // A function we do not know: its length is wherever a CRC fits.
        for (size_t n = 4; n <= rx_.size() && n <= kModbusFrameMax; ++n)
            if (modbus::CrcMatches({rx_.data(), n}))
                return {Step::Frame, n, false};
        // Noise rather than a frame when a whole request follows it.
        for (size_t k = 1; k + 8 <= rx_.size(); ++k) {
            const uint8_t f = rx_[k + 1];
            if ((f == kReadHolding || f == modbus::kReadInput || f == modbus::kWriteSingle) &&
                modbus::CrcMatches({rx_.data() + k, 8}))
                return {Step::Skip};
        }
        return {rx_.size() >= kModbusFrameMax ? Step::Skip : Step::NeedMore};
    }
    if (rx_.size() < length)
        return {};
    return modbus::CrcMatches({rx_.data(), length}) ? Found{Step::Frame, length, false} : Found{Step::Skip};
}

void SimLine::HandleKx485(std::span<const uint8_t> frame)
{
    int error = 0;
    const auto request = kx485::ParseRequest(frame, &error);
    if (!request) {
        // Only a station that recognises its own ID complains about the frame.
        const long id = frame.size() < 4 ? -1 : kx485::ParseHex(frame, 1, 2);
        if (id < 0)
            return;
        const int station = static_cast<int>(id);
        if (!Listening(station))
            return;
        ++counters_.requests;
        const char command = static_cast<char>(frame[3]);
        const bool known = command == 'R' || command == 'W' || command == 'X' || command == 'Y';
        const char* code = error == 1 && !known ? "IF" : "FE";
        Reply(ToBytes(kx485::BuildNak(station, known ? command : '?', code)), true);
        return;
    }
    SimDrive* drive = Listening(request->station);
    if (!drive)
        return;
    ++counters_.requests;
    const int station = request->station;
    const char command = request->command;
    auto nak = [&](Access access) {
        Reply(ToBytes(kx485::BuildNak(station, command, NakCode(access))), true);
    };
    uint16_t value = 0;
    switch (command) {
    case 'R': {
        const Access access = drive->Read(request->address, value);
        if (access != Access::Ok)
            return nak(access);
        const uint16_t words[] = {value};
        return Reply(ToBytes(kx485::BuildAck(station, command, words)), true);
    }
    case 'W': {
        const Access access = drive->Write(request->address, request->value);
        if (access != Access::Ok)
            return nak(access);
        const uint16_t words[] = {request->value};
        return Reply(ToBytes(kx485::BuildAck(station, command, words)), true);
    }
    case 'X':
        for (uint16_t a : request->addresses)
            if (drive->Read(a, value) != Access::Ok)
                return nak(Access::IllegalAddress);
        registered_[station] = request->addresses;
        return Reply(ToBytes(kx485::BuildAck(station, command)), true);
    case 'Y': {
        std::vector<uint16_t> words;
        for (uint16_t a : registered_[station]) {
            if (drive->Read(a, value) != Access::Ok)
                return nak(Access::IllegalAddress);
            words.push_back(value);
        }
        return Reply(ToBytes(kx485::BuildAck(station, command, words)), true);
    }
    default:
        return;
    }
}

void SimLine::HandleModbus(std::span<const uint8_t> f)
{
    const int station = f[0];
    const uint8_t function = f[1];
    if (station == 0) {
        // Broadcast writes reach every station and are never answered.
        if (function == modbus::kWriteSingle && f.size() == 8)
            for (auto& [id, drive] : stations_)
                if (!drive->Silenced())
                    drive->Write(static_cast<uint16_t>(Word(f, 2) + 1), Word(f, 4));
        return;
    }
    SimDrive* drive = Listening(station);
    if (!drive)
        return;
    ++counters_.requests;
    auto exception = [&](int code) { Reply(modbus::BuildException(station, function, code), false); };
    switch (function) {
    case kReadHolding:
    case modbus::kReadInput: {
        const uint16_t first = Word(f, 2);
        const int count = Word(f, 4);
        if (count < 1 || count > kMaxReadCount)
            return exception(kExIllegalValue);
        if (count > 1 && RefusesBlocks(station))
            return exception(kExIllegalFunction);
        std::vector<uint8_t> reply{static_cast<uint8_t>(station), function, static_cast<uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) {
            uint16_t value = 0;
            // The wire register is the address minus one.
            const Access access = drive->Read(static_cast<uint16_t>(first + i + 1), value);
            if (access != Access::Ok)
                return exception(ExceptionCode(access));
            PutWord(reply, value);
        }
        modbus::AppendCrc(reply);
        return Reply(std::move(reply), false);
    }
    case modbus::kWriteSingle: {
        const Access access = drive->Write(static_cast<uint16_t>(Word(f, 2) + 1), Word(f, 4));
        if (access != Access::Ok)
            return exception(ExceptionCode(access));
        return Reply(modbus::BuildWriteReply(station, Word(f, 2), Word(f, 4)), false);
    }
    case kWriteMultiple: {
        const uint16_t first = Word(f, 2);
        const int count = Word(f, 4);
        if (count < 1 || count > kMaxWriteCount || f[6] != 2 * count)
            return exception(kExIllegalValue);
        for (int i = 0; i < count; ++i) {
            const Access access =
                drive->Write(static_cast<uint16_t>(first + i + 1), Word(f, 7 + 2 * static_cast<size_t>(i)));
            if (access != Access::Ok)
                return exception(ExceptionCode(access));
        }
        std::vector<uint8_t> reply{static_cast<uint8_t>(station), function};
        PutWord(reply, first);
        PutWord(reply, static_cast<uint16_t>(count));
        modbus::AppendCrc(reply);
        return Reply(std::move(reply), false);
    }
    default:
        return exception(kExIllegalFunction);
    }
}

bool SimLine::RefusesBlocks(int station) const
{
    auto it = refuseBlocks_.find(station);
    return it != refuseBlocks_.end() ? it->second : faults_.refuseBlocks;
}

bool SimLine::Chance(double rate)
{
    if (rate <= 0)
        return false;
    // 53 random bits as a fraction in [0, 1): the same sequence for a seed on every platform.
    const double draw = static_cast<double>(random_() >> 11) * 0x1.0p-53;
    return draw < rate;
}

void SimLine::Reply(std::vector<uint8_t> bytes, bool kx485)
{
    const bool drop = Chance(faults_.dropRate);
    const bool corrupt = Chance(faults_.corruptRate);
    if (drop) {
        ++counters_.dropped;
        return;
    }
    if (corrupt && bytes.size() >= 4) {
        ++counters_.corrupted;
        if (kx485) {
            uint8_t& digit = bytes[bytes.size() - 2];  // last checksum digit, still a hex digit
            digit = digit == '0' ? '1' : '0';
        } else {
            bytes.back() ^= 0xFF;
        }
    }
    ++counters_.replies;
    Schedule(nowMs_ + faults_.delayMs, std::move(bytes));
}

void SimLine::Schedule(int64_t due, std::vector<uint8_t> bytes)
{
    // Equal due times keep their order: an echo never overtakes the frame before it.
    auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                               [](int64_t d, const Pending& p) { return d < p.due; });
    pending_.insert(at, Pending{due, std::move(bytes)});
}

std::vector<uint8_t> SimLine::TakeDue(int64_t nowMs)
{
    std::vector<uint8_t> out;
    auto it = pending_.begin();
    for (; it != pending_.end() && it->due <= nowMs; ++it) {
        out.insert(out.end(), it->bytes.begin(), it->bytes.end());
        lastTakenDue_ = it->due;
    }
    pending_.erase(pending_.begin(), it);
    return out;
}

std::optional<int64_t> SimLine::NextDue() const
{
    if (pending_.empty())
        return std::nullopt;
    return pending_.front().due;
}

SimLine::CommandResult SimLine::Command(std::string_view line, int64_t nowMs)
{
    AdvanceTo(nowMs);
    const std::vector<std::string> w = Words(line);
    if (w.empty())
        return {"error: empty command"};
    const std::string& verb = w[0];
    if (verb == "quit")
        return {"ok", true};
    // What the fault injection did, for checking a master's own counts against.
    if (verb == "counters" && w.size() == 1)
        return {"ok requests " + std::to_string(counters_.requests) + " replies " +
                std::to_string(counters_.replies) + " dropped " + std::to_string(counters_.dropped) +
                " corrupted " + std::to_string(counters_.corrupted)};
    const std::map<std::string, size_t> arity = {{"trip", 3}, {"reset", 2}, {"silence", 2}, {"revive", 2},
                                                 {"set", 4},  {"load", 3},  {"blocks", 3}};
    auto known = arity.find(verb);
    if (known == arity.end())
        return {"error: unknown command " + verb +
                " (trip, reset, silence, revive, set, load, blocks, counters, quit)"};
    if (w.size() != known->second)
        return {"error: " + verb + " takes " + std::to_string(known->second - 1) + " arguments"};
    const auto id = ParseNumber(w[1], 1, 255);
    SimDrive* drive = id ? Station(static_cast<int>(*id)) : nullptr;
    if (!drive)
        return {"error: no station " + w[1]};
    if (verb == "trip") {
        const auto bit = ParseNumber(w[2], 0, 31);
        if (!bit || !drive->Trip(static_cast<int>(*bit)))
            return {"error: station " + w[1] + " has no fault bit " + w[2]};
    } else if (verb == "reset") {
        drive->Reset();
    } else if (verb == "silence" || verb == "revive") {
        drive->SetSilenced(verb == "silence");
    } else if (verb == "blocks") {
        if (w[2] != "refuse" && w[2] != "serve")
            return {"error: blocks ID refuse|serve"};
        refuseBlocks_[static_cast<int>(*id)] = w[2] == "refuse";
    } else if (verb == "load") {
        const auto load = ParseNumber(w[2], 0, 200);
        if (!load)
            return {"error: load is a percentage 0-200"};
        drive->SetLoad(static_cast<int>(*load));
    } else {
        const auto address = ParseNumber(w[2], 0, 0xFFFF);
        const auto value = ParseNumber(w[3], -32768, 0xFFFF);
        if (!address || !value)
            return {"error: set ID ADDR VALUE takes an address 0-65535 and a 16-bit value"};
        const std::string why =
            drive->Force(static_cast<uint16_t>(*address), static_cast<uint16_t>(*value & 0xFFFF));
        if (!why.empty())
            return {"error: " + why};
    }
    return {"ok"};
}

}  // namespace vm::sim
