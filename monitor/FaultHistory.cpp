#include "monitor/FaultHistory.h"

#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "paramdb/TextCodec.h"

#include <QFile>
#include <QFileInfo>

namespace vm {

namespace {

std::string ToFileText(const QString& text)
{
    return Utf8ToCp1252(text.toStdString());
}

QString FromFileText(const std::string& text)
{
    return QString::fromStdString(Cp1252ToUtf8(text));
}

// Word arrays are read element by element so that a file cut short fails instead of loading
// shortened columns.
std::vector<uint16_t> ReadWords(ObjectArchive& ar)
{
    const uint32_t n = ar.ReadCount();
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < n; ++i)
        words.push_back(ar.ReadU16());
    return words;
}

}  // namespace

QString FaultColumnKey(int column)
{
    return QStringLiteral("FaultCol %1").arg(column);
}

CHistory::CHistory(MessageSink* messages) : messages_(messages), file_(messages)
{
    file_.SetCaption("Fault History");
}

void CHistory::SetMessageSink(MessageSink* messages)
{
    messages_ = messages;
    file_.SetMessageSink(messages);
}

void CHistory::Notify(Change change, bool trimmed)
{
    if (observer_)
        observer_(change, trimmed);
}

void CHistory::AddFault(const StationRecord& record, const QString& deviceName)
{
    Add(record, deviceName, QDateTime::currentDateTime());
}

void CHistory::RemoveAll()
{
    records_.clear();
    Notify(Change::Replaced);
}

bool CHistory::Add(const StationRecord& station, const QString& deviceName, const QDateTime& when)
{
    FaultRecord r;
    r.date = when.toString(QStringLiteral("yyyy.MM.dd"));
    r.time = when.toString(QStringLiteral("HH:mm:ss"));
    r.station = static_cast<uint16_t>(station.station);
    r.model = static_cast<uint16_t>(station.model);
    r.capacity = static_cast<uint16_t>(station.capacity);
    r.voltage = static_cast<uint16_t>(station.voltage);
    r.fault1 = static_cast<uint16_t>(station.fault);
    r.fault2 = static_cast<uint16_t>(station.fault2);
    r.deviceName = deviceName;
    records_.insert(records_.begin(), std::move(r));
    const bool trimmed = Count() > kMaxRecords;
    Trim();
    // The views hear of it before the save, whose failure message may take a while.
    Notify(Change::Added, trimmed);
    // Saved at once so a crash keeps the session's faults; a failing disk is reported once per
    // run of failures, not at every fault.
    if (opened_)
        lastSaveFailed_ = !Save(!lastSaveFailed_);
    return trimmed;
}

void CHistory::Trim()
{
    if (Count() > kMaxRecords)
        records_.resize(kMaxRecords);
}

QString CHistory::SetAsidePath(const QString& path)
{
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    return aside;
}

bool CHistory::Open(const QString& path)
{
    Close();
    file_.Attach(path.toStdString(), this);
    if (QFileInfo::exists(path) && !file_.Load(false)) {
        const QString why = FailureText();
        const QString aside = SetAsidePath(path);
        // A file that is no fault history is nobody's to overwrite: it is renamed, never
        // replaced, and the faults of this run go to a fresh file at the configured path.
        if (!QFileInfo(path).isFile() || !QFile::rename(path, aside)) {
            if (messages_)
                messages_->Show(MessageKind::Plain, why.toStdString(), "Fault History");
            file_.Detach();
            Notify(Change::Replaced);
            return false;
        }
        opened_ = true;
        lastSaveFailed_ = !Save(true);
        if (messages_)
            messages_->Show(MessageKind::Plain,
                            QStringLiteral("%1\nThe damaged file was kept as %2; a new fault history "
                                           "was started at %3.")
                                .arg(why, aside, path)
                                .toStdString(),
                            "Fault History");
        Notify(Change::Replaced);
        return true;
    }
    Trim();
    opened_ = true;
    lastSaveFailed_ = false;
    Notify(Change::Replaced);
    return true;
}

bool CHistory::ChangePath(const QString& path)
{
    const std::string oldPath = file_.Path();
    const bool wasOpened = opened_;
    if (opened_)
        file_.Save(false);
    file_.Attach(path.toStdString(), this);
    if (!file_.Save(true)) {
        if (wasOpened)
            file_.Attach(oldPath, this);
        else
            file_.Detach();
        return false;
    }
    opened_ = true;
    lastSaveFailed_ = false;
    return true;
}

void CHistory::Erase()
{
    RemoveAll();  // tells the views
    if (opened_)
        lastSaveFailed_ = !Save(true);
}

void CHistory::Close()
{
    if (opened_)
        file_.Save(false);
    file_.Detach();
    opened_ = false;
}

bool CHistory::Save(bool report)
{
    return opened_ && file_.Save(report);
}

StationRecord CHistory::ToStationRecord(const FaultRecord& record)
{
    StationRecord s;
    s.station = record.station;
    s.present = 1;
    s.model = record.model;
    s.capacity = record.capacity;
    s.voltage = record.voltage;
    s.version = kAssumedVersion;
    s.fault = record.fault1;
    s.fault2 = record.fault2;
    s.timeScale = kDefaultTimeScale;
    return s;
}

QStringList CHistory::RowTexts(int index) const
{
    const FaultRecord& r = Get(index);
    const StationRecord s = ToStationRecord(r);
    return {
        QString::number(index + 1),
        r.date,
        r.time,
        QString::number(r.station),
        r.deviceName,
        QString::fromStdString(FormatStationValue(s, 0, s.model)),
        QString::fromStdString(FormatStationValue(s, 1, s.capacity)),
        QString::fromStdString(TripFaultText(s)),
    };
}

QString CHistory::ErrorText(int index)
{
    return index == kInitFailed ? QStringLiteral("Fail to initialize fault history file")
                                : QStringLiteral("Faild to change fault history file path");
}

void CHistory::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        std::vector<std::string> dates, times, names;
        std::vector<uint16_t> stations, models, capacities, voltages, faults1, faults2;
        for (const FaultRecord& r : records_) {
            dates.push_back(ToFileText(r.date));
            times.push_back(ToFileText(r.time));
            stations.push_back(r.station);
            models.push_back(r.model);
            capacities.push_back(r.capacity);
            voltages.push_back(r.voltage);
            faults1.push_back(r.fault1);
            faults2.push_back(r.fault2);
            names.push_back(ToFileText(r.deviceName));
        }
        ar.WriteStringArray(dates);
        ar.WriteStringArray(times);
        ar.WriteU16Array(stations);
        ar.WriteU16Array(models);
        ar.WriteU16Array(capacities);
        ar.WriteU16Array(voltages);
        ar.WriteU16Array(faults1);
        ar.WriteU16Array(faults2);
        ar.WriteStringArray(names);
        return;
    }

    // Everything is read before anything is replaced: a damaged file leaves the records as
    // they were.
    const std::vector<std::string> dates = ar.ReadStringArray();
    const std::vector<std::string> times = ar.ReadStringArray();
    const std::vector<uint16_t> stations = ReadWords(ar);
    const std::vector<uint16_t> models = ReadWords(ar);
    const std::vector<uint16_t> capacities = ReadWords(ar);
    const std::vector<uint16_t> voltages = ReadWords(ar);
    const std::vector<uint16_t> faults1 = ReadWords(ar);
    const std::vector<uint16_t> faults2 = ReadWords(ar);
    const std::vector<std::string> names = ar.ReadStringArray();
    const size_t n = dates.size();
    for (size_t size : {times.size(), stations.size(), models.size(), capacities.size(), voltages.size(),
                        faults1.size(), faults2.size(), names.size()})
        if (size != n)
            ObjectArchive::ThrowBadFormat();
    uint8_t extra = 0;
    if (ar.ReadBlock(&extra, 1) != 0)  // a fault history ends with its last column
        ObjectArchive::ThrowBadFormat();

    std::vector<FaultRecord> loaded(n);
    for (size_t i = 0; i < n; ++i) {
        FaultRecord& r = loaded[i];
        r.date = FromFileText(dates[i]);
        r.time = FromFileText(times[i]);
        r.station = stations[i];
        r.model = models[i];
        r.capacity = capacities[i];
        r.voltage = voltages[i];
        r.fault1 = faults1[i];
        r.fault2 = faults2[i];
        r.deviceName = FromFileText(names[i]);
    }
    records_ = std::move(loaded);
}

}  // namespace vm
