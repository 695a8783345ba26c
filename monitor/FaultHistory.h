#pragma once
// The fault history: one record per new fault of a station, the 200 newest kept, stored in the
// fault history file (nine column arrays through the object archive). Saved after every change,
// each save a complete new file renamed into place.

#include "catalogue/StationRecord.h"
#include "monitor/MonitorHooks.h"
#include "paramdb/ObjectArchive.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace vm {

struct FaultRecord {
    QString date;  // "yyyy.MM.dd", local time of recording
    QString time;  // "HH:mm:ss"
    uint16_t station = 0;
    uint16_t model = 0;
    uint16_t capacity = 0;
    uint16_t voltage = 0;  // non-zero: 400 V class
    uint16_t fault1 = 0;   // address 15
    uint16_t fault2 = 0;   // address 29
    QString deviceName;

    bool operator==(const FaultRecord&) const = default;
};

struct FaultColumn {
    const char* header;
    int width;  // default, pixels
};

inline constexpr std::array<FaultColumn, 8> kFaultColumns = {{
    {"Num.", 40},
    {"Date", 80},
    {"Time", 80},
    {"ID", 80},
    {"Device Name", 150},
    {"Model", 100},
    {"Capacity", 100},
    {"Fault", 150},
}};

// Settings name of a column's width in section "Main": "FaultCol 0" ... "FaultCol 7".
QString FaultColumnKey(int column);

class CHistory final : public Serializable, public FaultHistoryHook {
public:
    static constexpr int kMaxRecords = 200;
    // Records carry no software version; they are shown as from the newest version, which is
    // right for model 10's second fault word: only newer drives ever report it.
    static constexpr int kAssumedVersion = 0xFFFF;

    enum ErrorIndex { kInitFailed = 0, kPathChangeFailed = 1 };

    // What changed, for the views that show the records.
    enum class Change { Added, Replaced };
    // kAdded: a record came in at index 0 (trimmed: the oldest one went for it).
    using Observer = std::function<void(Change change, bool trimmed)>;

    // Failures to read or write the file are shown through messages (may be null).
    explicit CHistory(MessageSink* messages = nullptr);
    void SetMessageSink(MessageSink* messages);
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

    // FaultHistoryHook: Add with the current local time.
    void AddFault(const StationRecord& record, const QString& deviceName) override;

    // Inserts a record made from the station at index 0 and, once opened, saves the file.
    // Returns true when the oldest record was dropped to stay within kMaxRecords.
    bool Add(const StationRecord& station, const QString& deviceName, const QDateTime& when);
    int Count() const { return static_cast<int>(records_.size()); }
    const FaultRecord& Get(int index) const { return records_.at(static_cast<size_t>(index)); }
    const std::vector<FaultRecord>& Records() const { return records_; }
    void RemoveAll();

    // Binds the file and loads it. A missing file is an empty history (created at the first
    // save). A file that cannot be read or is not a fault history is renamed to SetAsidePath
    // and a fresh history is started at path, with one message saying so. Only when it cannot
    // be moved aside is it reported, left as it is and never written: the result is false and
    // the history stays unopened.
    bool Open(const QString& path);
    // Where a damaged file goes: "<path>.damaged", or "<path>.damaged-N" with the lowest free N.
    static QString SetAsidePath(const QString& path);
    // Saves to the old file without messages, then writes the records to the new path, replacing
    // a file there. On failure the old file stays bound and the result is false.
    bool ChangePath(const QString& path);
    // RemoveAll, then save.
    void Erase();
    // Saves without messages and unbinds.
    void Close();
    bool Save(bool report);

    bool IsOpened() const { return opened_; }
    QString Path() const { return QString::fromStdString(file_.Path()); }
    // Message of the last failed load or save; empty after success.
    QString FailureText() const { return QString::fromStdString(file_.FailureText()); }

    // The eight cells of a record's row in the fault history tab.
    QStringList RowTexts(int index) const;
    // A station record carrying what a fault record keeps, for the value formatter.
    static StationRecord ToStationRecord(const FaultRecord& record);

    static QString ErrorText(int index);

    void Serialize(ObjectArchive& ar) override;

private:
    void Trim();
    void Notify(Change change, bool trimmed = false);

    std::vector<FaultRecord> records_;
    MessageSink* messages_ = nullptr;
    Observer observer_;
    ArchiveFile file_;
    bool opened_ = false;
    bool lastSaveFailed_ = false;
};

}  // namespace vm
