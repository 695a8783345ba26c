#pragma once
// What the graph monitor decides, free of widgets: the four channels and their rules, the
// registrations they need, the run states (monitoring, recording, trigger), sampling into the
// sample store with fresh, repeated and missing marks, each channel's refresh rate, the record
// lines and the scope file's picture. The view forwards user actions and ticks with the time
// they happened and shows what this returns; tests drive it the same way.

#include "catalogue/StationRecord.h"
#include "comm/CommReply.h"
#include "scope/ChannelSettings.h"
#include "scope/RecordFile.h"
#include "scope/SampleStore.h"
#include "scope/ScopeFile.h"
#include "scope/ScopeRules.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vm::scope {

// A channel's page choices and the item list of its station.
struct ScopeChannel : ChannelSettings {
    int model = kNoModel;
    int version = 0;
    std::vector<MonitorItem> items;

    // The item at the address index, or nothing when the index is outside the list.
    const MonitorItem* Item() const;
};

using RecordLookup = std::function<const StationRecord&(int station)>;

class ScopeLogic {
public:
    explicit ScopeLogic(RecordLookup records);

    // ---- channel setup (applies to samples taken from now on; stored samples keep theirs)
    const ScopeChannel& Channel(int i) const { return channels_.at(static_cast<size_t>(i)); }
    // The page choices as stored between runs; restoring them forgets item lists and models.
    std::array<ChannelSettings, kChannelCount> Settings() const;
    void Restore(const std::array<ChannelSettings, kChannelCount>& settings);
    void SetOn(int i, bool on);
    // Takes the station and, when it is connected, its item list (the address index is kept
    // when it fits the list, else the first item is taken).
    void SetStation(int i, int station);
    void SetAddressIndex(int i, int index);
    void SetOffset(int i, int index);
    void SetDivision(int i, int index);
    void SetColour(int i, uint32_t rgb);
    void SetWidth(int i, int index);
    // Station lists changed (open, connect, disconnect): a channel whose station was never
    // seen connected in this window is switched off; one set up earlier keeps its station and
    // waits for it, so a drive that comes back resumes by itself.
    void StationsChanged();

    bool AnyConnected() const;
    bool Connected(int station) const;
    bool Ready(int i) const;
    bool AnyOn() const;
    // The unit of a channel's data label ("rpm" in speed display).
    std::string Unit(int i) const;
    // The legend of the channel's newest samples, or of its setup when it has none.
    std::string Legend(int i) const;

    // Station -> addresses to monitor for the ready channels of connected stations.
    std::map<int, std::vector<uint16_t>> Registrations() const;

    // ---- run states
    // False when no channel could be ready. A new run is a new picture without a file name.
    bool StartMonitor(double wallDays, int64_t nowMs);
    void StopMonitor();
    bool Monitoring() const { return monitoring_; }
    LevelTrigger& Trigger() { return trigger_; }
    const LevelTrigger& Trigger() const { return trigger_; }
    // Starting the trigger: nothing when the channel is not on with a station and an address.
    bool ArmTrigger(int channel, LevelTrigger::Edge edge, double typedLevel, double* level,
                    int post = kPostTriggerSamples);

    // ---- sampling
    void OnMonitor(int station, const CommReply& reply, int64_t nowMs);
    struct Sample {
        int point = -1;
        std::array<std::string, kChannelCount> labels;
        LevelTrigger::Step trigger = LevelTrigger::Step::Nothing;
        bool recorded = false;      // a record line was written for this sample
        bool recordFailed = false;  // writing it failed; recording has stopped
    };
    // One sample tick: appends a sample of every channel to the store, and writes its record
    // line when recording at the sampling period.
    Sample OnSample(int64_t nowMs);
    // Fresh values per second over the last few seconds; 0 before any arrived.
    double RefreshRate(int i, int64_t nowMs) const;
    // The converted value a record line or a label uses; NaN when missing.
    double LiveValue(int i) const;
    // The store's index of the trigger point, shifted for samples dropped since.
    int TriggerPoint() const;

    // ---- recording
    bool StartRecord(const QString& wanted, bool stamped, int64_t nowMs);
    // A record line per sample (written by OnSample) instead of per RecordTick.
    void SetRecordEachSample(bool on) { recordEachSample_ = on; }
    bool RecordEachSample() const { return recordEachSample_; }
    // One record line. False on a write error (recording has then stopped).
    bool RecordTick(int64_t nowMs, const QDateTime& wall);
    void StopRecord();
    bool Recording() const { return recording_; }
    int RecordCounter() const { return recordCounter_; }
    QString RecordPath() const { return record_.Path(); }
    RecordRow NextRecordRow(int64_t nowMs, const QDateTime& wall);

    // ---- the picture
    const SampleStore& Store() const { return store_; }
    // The name the picture was saved as or opened from; empty for a new run.
    QString PicturePath() const { return picturePath_; }
    void SetPicturePath(const QString& path) { picturePath_ = path; }
    bool FromFile() const { return fromFile_; }
    void SetFromFile(bool on) { fromFile_ = on; }
    // What the scope file stores: each channel's newest source, its samples rescaled to that
    // source's offset and division; samples of another station or item are stored missing.
    ScopePicture TakePicture(int elapsed, int spanIndex, double yMax, double yMin) const;
    // Replaces the picture and the channel setup with a loaded file's.
    void LoadPicture(const ScopePicture& picture);
    // "%.02f %s" of the sample under the cursor with its own unit; empty for a missing sample
    // or a channel without a source.
    std::string CursorLabel(int i, int point) const;

private:
    struct Live {
        double value = 0.0;
        bool hasValue = false;  // a fresh value arrived and the station has not been lost since
        uint64_t updates = 0;
        uint64_t seenBySample = 0;
        uint64_t seenByRecord = 0;
        std::deque<int64_t> arrivals;  // ms of recent fresh values
    };
    struct StationCopy {
        bool statusKnown = false;
        int32_t status = 0;
        uint32_t fault = 0;
        uint32_t fault2 = 0;
    };
    ScopeChannel& Ch(int i) { return channels_[static_cast<size_t>(i)]; }
    Live& L(int i) { return live_[static_cast<size_t>(i)]; }
    void LoadItems(int i);
    void FixAddress(int i);
    SampleSource SourceOf(int i) const;
    // The channel's choice of station and value, as the sample store keeps it.
    static SampleSource Picked(const ScopeChannel& c);
    void PushSources();
    void LoseStation(int station);
    int32_t Status(int station) const;
    double ConvertEntry(int i, uint32_t raw, const StationCopy& copy) const;

    RecordLookup records_;
    std::array<ScopeChannel, kChannelCount> channels_;
    std::array<Live, kChannelCount> live_;
    std::array<bool, kChannelCount> seen_{};  // its station was connected since the setup
    std::map<int, StationCopy> copies_;
    bool monitoring_ = false;
    LevelTrigger trigger_;
    int64_t droppedAtTrigger_ = 0;
    double clockBaseDays_ = 0.0;
    int64_t startMs_ = 0;

    RecordFile record_;
    bool recording_ = false;
    bool stamped_ = false;
    bool recordEachSample_ = false;
    int recordCounter_ = 0;
    int64_t recordStartMs_ = 0;

    SampleStore store_;
    QString picturePath_;
    bool fromFile_ = false;
};

}  // namespace vm::scope
