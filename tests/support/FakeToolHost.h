#pragma once
// Stands in for the main window in tool-window tests: the 288 station records, device names,
// a communication manager (the test's own, or one of a LineHarness), graph watch mode, the data
// file versions, a message log and the frame list.

#include "catalogue/DataFileVersions.h"
#include "comm/CommManager.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "paramdb/MessageSink.h"
#include "platform/ProgramFolders.h"
#include "platform/QueuedMessageSink.h"

#include <QFileInfo>

#include <array>
#include <vector>

namespace vm::test {

class FakeToolHost : public ToolHost {
public:
    // Uses the manager given, or a manager of its own that is never started.
    explicit FakeToolHost(CommManager* manager = nullptr) : comm_(manager ? manager : &ownComm_)
    {
        for (int i = 0; i < kStationRecordCount; ++i)
            records[static_cast<size_t>(i)].station = i;
        folders.data = QStringLiteral(VARIMON_TEST_DATA_DIR);
        versions.Scan(QFileInfo(folders.data).absolutePath().toStdString());
    }
    ~FakeToolHost() override = default;

    StationRecord& Record(int station) override { return records.at(static_cast<size_t>(station)); }
    QString DeviceName(int station) const override { return names.at(static_cast<size_t>(station)); }
    void SetDeviceName(int station, const QString& name) override
    {
        names.at(static_cast<size_t>(station)) = name;
    }
    void DeviceNameChanged(int station) override
    {
        nameChanges.push_back(station);
        frames.Broadcast(ToolNotice::InvNameChanged, station);
    }
    CommManager& Comm() override { return *comm_; }
    bool GraphWatch() const override { return comm_->GraphWatch(); }
    void SetGraphWatch(bool on) override
    {
        if (comm_->GraphWatch() == on)
            return;
        comm_->SetGraphWatch(on);
        frames.Broadcast(ToolNotice::GraphWatchChanged, 0);
    }
    const DataFileVersions& Versions() const override { return versions; }
    const ProgramFolders& Folders() const override { return folders; }
    MessageSink& Messages() override { return messages; }
    // As the program's: passed on from the event loop.
    MessageSink& LaterMessages() override { return laterMessages; }
    bool MessageBoxes() const override { return boxes; }
    CToolFrameList& Frames() override { return frames; }
    QWidget* MainWindow() override { return nullptr; }

    std::array<StationRecord, kStationRecordCount> records;
    std::array<QString, 256> names;
    std::vector<int> nameChanges;
    ProgramFolders folders;
    DataFileVersions versions;
    MessageLog messages;
    QueuedMessageSink laterMessages{&messages};
    // Tool windows show real boxes (the disconnect-under-dialog tests).
    bool boxes = false;

private:
    CommManager ownComm_;
    CommManager* comm_;

public:
    // Last: frames are clients of the manager and go before it.
    CToolFrameList frames{*this};
};

}  // namespace vm::test
