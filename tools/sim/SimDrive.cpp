#include "tools/sim/SimDrive.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vm::sim {

namespace {

constexpr double kBaseFreq = 6000;  // 60 Hz in 0.01 Hz: the acc/dec times are set for it
constexpr double kDefaultRampSeconds = 5;
constexpr uint16_t kDefaultFreqCommand = 6000;
constexpr uint16_t kDefaultRpmCommand = 18000;  // 1800.0 rpm
constexpr uint16_t kDefaultPoles = 4;
constexpr uint16_t kMaxTimeRaw = 6000;

// Output terminal bits of the run relay and the fault relay, per model.
struct RelayBits {
    int run;
    int fault;
};

RelayBits Relays(int model)
{
    switch (model) {
    case kModelQmA20:
        return {0, 4};  // Q1(OC1), 30AC
    case kModelQmC20:
        return {1, 0};  // 1A-1B, 30A-30C
    case kModelQmE20:
        return {0, 1};  // Q1(OC1), 30AC
    case kModelQmF20X:
        return {4, 7};  // Q1(OC1), 30AC
    case kModelQmB20X:
        return {4, 7};  // MO, 3ABC
    default:
        return {0, 1};
    }
}

bool IsC20Setting(uint16_t a)
{
    return a >= reg::kC20SpeedCommand && a <= reg::kC20LastSetting;
}

uint16_t ToRaw(double v)
{
    return static_cast<uint16_t>(static_cast<int32_t>(std::lround(v)) & 0xFFFF);
}

}  // namespace

int ParseModel(const std::string& text)
{
    for (int code = 0; code < kModelCodeCount; ++code)
        if (text == ModelName(code) && text != ModelName(-1))
            return code;
    if (text.empty() || text.size() > 3)
        return -1;
    char* end = nullptr;
    const long code = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || code < 0 || code > 255)
        return -1;
    return static_cast<int>(code);
}

SimDrive::SimDrive(const DriveIdentity& identity, const std::vector<ParamRegister>& params) : id_(identity)
{
    for (const ParamRegister& p : params) {
        // The first definition of an address wins, as in the editor's look-up.
        if (paramDefs_.emplace(p.address, p).second)
            params_[p.address] = static_cast<uint16_t>(p.defaultValue & 0xFFFF);
    }
    if (auto scaleReg = TimeScaleRegister(id_.model); scaleReg && !paramDefs_.count(*scaleReg)) {
        // No data file: the resolution is still a register, 0.1 s by default.
        paramDefs_[*scaleReg] = ParamRegister{*scaleReg, 0, 2, 1, true, false, false};
        params_[*scaleReg] = 1;
    }
    const int scale = id_.model == kModelQmC20 ? kDefaultTimeScale : TimeScale();
    const auto ramp = static_cast<uint16_t>(kDefaultRampSeconds * scale);
    if (id_.model != kModelQmC20)
        settings_[reg::kFreqCommand] = kDefaultFreqCommand;
    settings_[reg::kAccTime] = ramp;
    settings_[reg::kDecTime] = ramp;
    settings_[reg::kRpmDisplay] = 0;
    settings_[reg::kPoleCount] = kDefaultPoles;
    for (uint16_t a : {reg::kAnalog1, reg::kAnalog2, reg::kAnalog3})
        settings_[a] = 0;
    if (id_.model == kModelQmC20) {
        settings_[reg::kC20SpeedCommand] = kDefaultRpmCommand;
        for (uint16_t a = 1285; a <= reg::kC20LastSetting; ++a)
            settings_[a] = 0;
        for (uint16_t a : {1286, 1287, 1288})
            settings_[a] = 1500;  // torque limits 150 %
        for (uint16_t a : {reg::kC20PidRef, reg::kC20PidFeedback, reg::kC20PidOutput})
            settings_[a] = 0;
    }
}

int SimDrive::TimeScale() const
{
    auto scaleReg = TimeScaleRegister(id_.model);
    if (!scaleReg)
        return kDefaultTimeScale;
    auto it = params_.find(*scaleReg);
    return it == params_.end() ? kDefaultTimeScale : vm::TimeScale(it->second);
}

bool SimDrive::Running() const
{
    return direction_ != 0 || freq_ != 0;
}

bool SimDrive::IsMonitorAddress(uint16_t a) const
{
    if (a <= reg::kVersion || (a >= reg::kFreqCommand && a <= reg::kRpm) || a == reg::kRpmDisplay ||
        a == reg::kPoleCount)
        return true;
    if (id_.model == kModelQmC20)
        return (a >= reg::kC20TargetSpeed && a <= reg::kC20Temperature) || IsC20Setting(a);
    return a == reg::kFault2 && HasSecondFaultWord(id_.model, id_.version);
}

bool SimDrive::HasAddress(uint16_t a) const
{
    return IsMonitorAddress(a) || paramDefs_.count(a) != 0;
}

uint16_t SimDrive::SettingKey(uint16_t a) const
{
    if (id_.model == kModelQmC20 && a == reg::kC20AccTime)
        return reg::kAccTime;
    if (id_.model == kModelQmC20 && a == reg::kC20DecTime)
        return reg::kDecTime;
    return a;
}

bool SimDrive::IsWritableMonitor(uint16_t a, Writable& limits) const
{
    // The keypad's writable items carry the limits the drive checks.
    const uint16_t asked = id_.model == kModelQmC20 && a == reg::kAccTime   ? reg::kC20AccTime
                           : id_.model == kModelQmC20 && a == reg::kDecTime ? reg::kC20DecTime
                                                                            : a;
    for (const MonitorItem& item : BuildItemSet(id_.model, id_.version, kSetKeypad)) {
        if (item.writable && item.address == asked) {
            limits = {item.minimum, item.maximum, item.minimum < 0};
            return true;
        }
    }
    switch (a) {
    case reg::kFreqCommand:
        limits = {0, 40000, false};
        return id_.model != kModelQmC20;  // QM-C20 takes its speed command in rpm
    case reg::kAccTime:
    case reg::kDecTime:
        limits = {0, kMaxTimeRaw, false};
        return true;
    case reg::kRpmDisplay:
        limits = {0, 1, false};
        return true;
    case reg::kPoleCount:
        limits = {2, 48, false};
        return true;
    default:
        return false;
    }
}

Access SimDrive::Read(uint16_t a, uint16_t& value) const
{
    if (IsMonitorAddress(a)) {
        value = Monitor(a);
        return Access::Ok;
    }
    auto it = params_.find(a);
    if (it == params_.end())
        return Access::IllegalAddress;
    value = it->second;
    return Access::Ok;
}

uint16_t SimDrive::Setting(uint16_t a) const
{
    auto it = settings_.find(SettingKey(a));
    return it == settings_.end() ? uint16_t{0} : it->second;
}

uint16_t SimDrive::Monitor(uint16_t a) const
{
    const double amps = CurrentAmps();
    const double hz = std::abs(freq_) / 100.0;
    const double volts = Running() ? RatedVoltage() * std::min(hz * 100 / kBaseFreq, 1.0) : 0;
    const bool decel = (StatusWord() & reg::kStatusDecelerating) != 0;
    const double dcLink = RatedVoltage() * std::sqrt(2.0) + (decel ? 40 : 0);
    const double fine = id_.model == kModelQmC20 ? 10 : 1;  // QM-C20 shows voltages in 0.1 V
    switch (a) {
    case reg::kModel:
        return static_cast<uint16_t>(id_.model);
    case reg::kCapacity:
        return static_cast<uint16_t>(id_.capacity);
    case reg::kVersion:
        return static_cast<uint16_t>(id_.version);
    case reg::kVoltage:
        return static_cast<uint16_t>(id_.voltage);
    case reg::kFreqCommand:
        return ToRaw(CommandFreq());
    case reg::kRunCommand:
        return runWord_;
    case reg::kCurrent:
        return ToRaw(amps * 10);
    case reg::kSpeed:
        return ToRaw(std::abs(freq_));
    case reg::kOutputVoltage:
        return ToRaw(volts * fine);
    case reg::kDcLink:
        return ToRaw(dcLink * fine);
    case reg::kPower:
        return ToRaw(std::sqrt(3.0) * volts * amps * 0.8 / 1000 * 10);
    case reg::kStatus:
        return StatusWord();
    case reg::kFault:
        return fault_;
    case reg::kTerminals: {
        uint16_t word = inputs_;
        if (direction_ > 0)
            word |= 0x0001;
        if (direction_ < 0)
            word |= 0x0002;
        return word;
    }
    case reg::kOutputs:
        return OutputTerminals();
    case reg::kRpm:
        return ToRaw(HzToRpm(std::abs(freq_)));
    default:
        break;
    }
    if (id_.model != kModelQmC20)
        return a == reg::kFault2 ? fault2_ : Setting(a);
    switch (a) {
    case reg::kC20TargetSpeed:
        return ToRaw(HzToRpm(TargetFreq()));
    case reg::kC20RampSpeed:
    case reg::kC20SpeedInput:
    case reg::kC20Speed:
        return ToRaw(HzToRpm(freq_));
    case reg::kC20TorqueRef:
        return ToRaw(Running() ? load_ * 10.0 : 0);
    case reg::kC20TorqueFeedback:
        return ToRaw(Running() ? load_ * 10.0 * (decel ? -0.5 : 1.0) : 0);
    case reg::kC20NoLoadCurrent:
        return 300;
    case reg::kC20Temperature:
        return ToRaw(30 + 15 * amps / RatedCurrent());
    default:
        return Setting(a);
    }
}

Access SimDrive::Write(uint16_t a, uint16_t value)
{
    const Access result = Store(a, value);
    journal_.push_back({a, value, result});
    return result;
}

void SimDrive::SetForgetful(uint16_t address, bool on)
{
    if (on)
        forgetful_.insert(address);
    else
        forgetful_.erase(address);
}

Access SimDrive::Store(uint16_t a, uint16_t value)
{
    if (!HasAddress(a))
        return Access::IllegalAddress;
    if (a == reg::kRunCommand) {
        RunCommand(value);
        return Access::Ok;
    }
    Writable limits{};
    const bool monitor = IsMonitorAddress(a);
    if (monitor) {
        if (!IsWritableMonitor(a, limits))
            return Access::WriteMode;  // identification and live values are read only
    } else {
        const ParamRegister& p = paramDefs_.at(a);
        if (!p.writable || (Running() && !p.runWritable))
            return Access::WriteMode;
        limits = {p.minimum, p.maximum, p.isSigned || p.minimum < 0};
    }
    const int32_t v = limits.isSigned ? static_cast<int16_t>(value) : static_cast<int32_t>(value);
    if (v < limits.minimum || v > limits.maximum)
        return Access::DataRange;
    if (forgetful_.count(a))
        return Access::Ok;
    (monitor ? settings_[SettingKey(a)] : params_[a]) = value;
    return Access::Ok;
}

std::string SimDrive::Force(uint16_t a, uint16_t value)
{
    if (!HasAddress(a))
        return "no register " + std::to_string(a);
    if (!IsMonitorAddress(a)) {
        params_[a] = value;
        return {};
    }
    switch (a) {
    case reg::kModel:
        return "the model code is fixed";
    case reg::kCapacity:
        id_.capacity = value;
        return {};
    case reg::kVoltage:
        id_.voltage = value;
        return {};
    case reg::kVersion:
        id_.version = value;
        return {};
    case reg::kRunCommand:
        RunCommand(value);
        return {};
    case reg::kTerminals:
        inputs_ = value;
        return {};
    case reg::kFault:
    case reg::kFault2:
        if (a == reg::kFault2 && id_.model == kModelQmC20)
            break;
        (a == reg::kFault ? fault_ : fault2_) = value;
        if (Tripped())
            StopOnTrip();
        else
            runWord_ = reg::kRunStop;
        return {};
    default:
        break;
    }
    if (auto it = settings_.find(SettingKey(a)); it != settings_.end()) {
        it->second = value;
        return {};
    }
    return "register " + std::to_string(a) + " is computed by the drive";
}

void SimDrive::RunCommand(uint16_t value)
{
    if (value & reg::kRunReset) {
        fault_ = 0;
        fault2_ = 0;
        runWord_ = value;
        return;
    }
    if (Tripped())
        return;  // a tripped drive takes no run command until it is reset
    runWord_ = value;
    if (value & reg::kRunStop)
        direction_ = 0;
    else if (value & reg::kRunForward)
        direction_ = 1;
    else if (value & reg::kRunReverse)
        direction_ = -1;
}

bool SimDrive::Trip(int bit)
{
    if (bit >= 0 && bit < 16) {
        fault_ |= static_cast<uint16_t>(1u << bit);
    } else if (bit >= 16 && bit < 20 && HasSecondFaultWord(id_.model, id_.version)) {
        fault2_ |= static_cast<uint16_t>(1u << (bit - 16));
    } else {
        return false;
    }
    StopOnTrip();
    return true;
}

void SimDrive::StopOnTrip()
{
    // The output is switched off at once: the motor coasts.
    direction_ = 0;
    freq_ = 0;
    runWord_ = reg::kRunStop | reg::kRunTripped;
}

void SimDrive::Reset()
{
    if (!Tripped())
        return;
    fault_ = 0;
    fault2_ = 0;
    runWord_ = reg::kRunStop;
}

void SimDrive::SetLoad(int percent)
{
    load_ = std::clamp(percent, 0, 200);
}

double SimDrive::CommandFreq() const
{
    if (id_.model == kModelQmC20)
        return RpmToCentiHz(Setting(reg::kC20SpeedCommand) / 10.0);
    return Setting(reg::kFreqCommand);
}

double SimDrive::TargetFreq() const
{
    return direction_ * CommandFreq();
}

double SimDrive::RampMs(bool accelerating) const
{
    const uint16_t raw = Setting(accelerating ? reg::kAccTime : reg::kDecTime);
    const int scale = id_.model == kModelQmC20 ? kDefaultTimeScale : TimeScale();
    return raw * 1000.0 / scale;
}

void SimDrive::Advance(int64_t ms)
{
    double remaining = static_cast<double>(std::max<int64_t>(ms, 0));
    const double target = TargetFreq();
    while (remaining > 0 && freq_ != target) {
        // Through zero when the direction changes: down to 0 first, then up the other way.
        const bool toZero = freq_ != 0 && (target == 0 || (freq_ > 0) != (target > 0));
        const double goal = toZero ? 0 : target;
        const bool accelerating = std::abs(goal) > std::abs(freq_);
        const double rampMs = RampMs(accelerating);
        const double distance = std::abs(goal - freq_);
        const double needMs = rampMs <= 0 ? 0 : distance * rampMs / kBaseFreq;
        if (needMs <= remaining) {
            freq_ = goal;
            remaining -= needMs;
        } else {
            const double step = remaining * kBaseFreq / rampMs;
            freq_ += goal > freq_ ? step : -step;
            remaining = 0;
        }
    }
}

uint16_t SimDrive::StatusWord() const
{
    if (Tripped())
        return reg::kStatusStop | reg::kStatusFault;
    if (!Running())
        return reg::kStatusStop;
    uint16_t word = 0;
    if (freq_ > 0 || (freq_ == 0 && direction_ > 0))
        word |= reg::kStatusForward;
    else
        word |= reg::kStatusReverse;
    const double target = TargetFreq();
    if (freq_ != target) {
        const bool toZero = freq_ != 0 && (target == 0 || (freq_ > 0) != (target > 0));
        word |= !toZero && std::abs(target) > std::abs(freq_) ? reg::kStatusAccelerating
                                                              : reg::kStatusDecelerating;
    }
    return word;
}

uint16_t SimDrive::OutputTerminals() const
{
    const RelayBits bits = Relays(id_.model);
    uint16_t word = 0;
    if (Running())
        word |= static_cast<uint16_t>(1u << bits.run);
    if (Tripped())
        word |= static_cast<uint16_t>(1u << bits.fault);
    return word;
}

double SimDrive::RatedVoltage() const
{
    return id_.voltage == 0 ? 220 : 380;
}

double SimDrive::RatedCurrent() const
{
    // Rated power from the capacity text ("5.5kW-4"); unknown codes count as 1.5 kW.
    const std::string text = CapacityText(id_.model, id_.capacity, id_.voltage, id_.version);
    double kw = std::atof(text.c_str());
    if (kw <= 0)
        kw = 1.5;
    return kw * 1000 / (std::sqrt(3.0) * RatedVoltage() * 0.8);
}

double SimDrive::CurrentAmps() const
{
    if (!Running())
        return 0;
    const double speedShare = std::min(std::abs(freq_) / kBaseFreq, 1.0);
    double amps = RatedCurrent() * (0.35 + 0.65 * load_ / 100.0) * (0.3 + 0.7 * speedShare);
    const uint16_t status = StatusWord();
    if (status & reg::kStatusAccelerating)
        amps *= 1.25;
    else if (status & reg::kStatusDecelerating)
        amps *= 0.85;
    return amps;
}

double SimDrive::HzToRpm(double centiHz) const
{
    const double poles = std::max<uint16_t>(Setting(reg::kPoleCount), 2);
    return centiHz / 100.0 * 120.0 / poles;
}

double SimDrive::RpmToCentiHz(double rpm) const
{
    const double poles = std::max<uint16_t>(Setting(reg::kPoleCount), 2);
    return rpm * poles / 120.0 * 100.0;
}

}  // namespace vm::sim
