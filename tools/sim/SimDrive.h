#pragma once
// One simulated inverter: its registers as the line sees them and a small drive model behind
// them. Time passes only through Advance(), so a test decides exactly how far the ramp gets.

#include "catalogue/Registers.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vm::sim {

// What a register access came to; the line layer turns it into NAK codes or exceptions.
enum class Access { Ok, IllegalAddress, DataRange, WriteMode };

// One parameter of the station's data file, as a register.
struct ParamRegister {
    uint16_t address = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t defaultValue = 0;
    bool writable = true;
    bool runWritable = false;
    bool isSigned = false;  // the value is a signed 16-bit number
};

struct DriveIdentity {
    int station = 1;
    int model = 4;
    int version = 0x0100;
    int capacity = 0;  // capacity code as the drive reports it (register 1)
    int voltage = 0;   // register 2: 0 = 200 V class, else 400 V class
};

class SimDrive {
public:
    SimDrive(const DriveIdentity& identity, const std::vector<ParamRegister>& params);

    const DriveIdentity& Identity() const { return id_; }
    int Station() const { return id_.station; }

    // Register access from the line.
    Access Read(uint16_t address, uint16_t& value) const;
    Access Write(uint16_t address, uint16_t value);

    // Every write from the line, in order, with what came of it.
    struct JournalEntry {
        uint16_t address;
        uint16_t value;
        Access result;
    };
    const std::vector<JournalEntry>& Journal() const { return journal_; }
    void ClearJournal() { journal_.clear(); }
    // A forgetful register acknowledges writes and keeps its old value (a faulty drive).
    void SetForgetful(uint16_t address, bool on);

    // Operator side ("set" on the simulator's console): bypasses limits and access rights.
    // Registers the model computes cannot be set. Returns an empty text or the reason.
    std::string Force(uint16_t address, uint16_t value);

    // Advances the drive model by ms milliseconds.
    void Advance(int64_t ms);

    // Raises a fault: bit 0-15 of the fault word, 16-19 of the second fault word where the
    // model has one. Returns false for a bit the drive does not have.
    bool Trip(int bit);
    void Reset();

    // Motor load in percent of rated torque; current follows it.
    void SetLoad(int percent);
    int Load() const { return load_; }

    // A silenced station ignores the line until revived.
    bool Silenced() const { return silenced_; }
    void SetSilenced(bool silenced) { silenced_ = silenced; }

    bool Tripped() const { return fault_ != 0 || fault2_ != 0; }
    bool Running() const;
    double OutputHz() const { return freq_ / 100.0; }  // signed: negative in reverse
    int TimeScale() const;

private:
    struct Writable {
        int32_t minimum;
        int32_t maximum;
        bool isSigned;
    };

    Access Store(uint16_t address, uint16_t value);
    bool IsMonitorAddress(uint16_t address) const;
    bool HasAddress(uint16_t address) const;
    uint16_t SettingKey(uint16_t address) const;  // QM-C20's acc/dec aliases share 7 and 8
    uint16_t Setting(uint16_t address) const;
    bool IsWritableMonitor(uint16_t address, Writable& limits) const;
    uint16_t Monitor(uint16_t address) const;
    void RunCommand(uint16_t value);
    void StopOnTrip();
    double CommandFreq() const;              // 0.01 Hz
    double TargetFreq() const;               // signed, 0.01 Hz
    double RampMs(bool accelerating) const;  // ms for 60 Hz of ramp
    double RatedCurrent() const;             // A
    double RatedVoltage() const;             // V
    double CurrentAmps() const;
    uint16_t StatusWord() const;
    uint16_t OutputTerminals() const;
    double HzToRpm(double centiHz) const;
    double RpmToCentiHz(double rpm) const;

    DriveIdentity id_;
    std::map<uint16_t, ParamRegister> paramDefs_;
    std::map<uint16_t, uint16_t> params_;    // current parameter values
    std::map<uint16_t, uint16_t> settings_;  // writable monitor registers and console-set inputs
    uint16_t runWord_ = reg::kRunStop;
    int direction_ = 0;  // commanded: +1 forward, -1 reverse, 0 stop
    double freq_ = 0;    // output frequency, 0.01 Hz, signed
    uint16_t fault_ = 0;
    uint16_t fault2_ = 0;
    uint16_t inputs_ = 0;  // console-set input terminals
    int load_ = 60;
    bool silenced_ = false;
    std::vector<JournalEntry> journal_;
    std::set<uint16_t> forgetful_;
};

// Parses "QM-A20" or "4"; -1 when neither a model name nor a code 0-255.
int ParseModel(const std::string& text);

}  // namespace vm::sim
