#pragma once
// A QM-A20 on the simulated line with its station record filled in as the main window's scan
// does, for the transfer and edit tests.

#include "catalogue/Models.h"
#include "catalogue/StationRecord.h"
#include "paramdb/ParameterData.h"
#include "tests/support/LineHarness.h"

#include <memory>

namespace vm::test {

inline constexpr int kTestStation = 3;

inline void ConnectRecord(StationRecord& r, const sim::SimDrive& drive)
{
    r.station = drive.Station();
    r.present = 1;
    r.connected = 1;
    r.model = drive.Identity().model;
    r.version = drive.Identity().version;
    r.timeScale = kDefaultTimeScale;
    r.paramData = std::make_shared<ParameterData>();
    r.paramData->LoadDataFile(r, VARIMON_TEST_DATA_DIR);
}

struct DriveOnLine {
    explicit DriveOnLine(sim::Protocol protocol = sim::Protocol::Kx485, const sim::LineFaults& faults = {})
        : harness(protocol, 3, 1000, faults)
    {
        harness.AddStations({"3:QM-A20"});
        drive = harness.line.Station(kTestStation);
        ConnectRecord(record, *drive);
    }

    ParameterData& Data() { return *record.paramData; }
    uint16_t Register(uint16_t address) const
    {
        uint16_t v = 0;
        drive->Read(address, v);
        return v;
    }

    LineHarness harness;
    sim::SimDrive* drive = nullptr;
    StationRecord record;
};

}  // namespace vm::test
