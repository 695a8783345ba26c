#include "monitor/FaultHistory.h"

#include "paramdb/MessageSink.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ostream>

// Readable failure output for texts.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace vm {
namespace {

const QDateTime kWhen(QDate(2024, 3, 5), QTime(7, 8, 9));

StationRecord Station(int id, int model, int fault, int fault2 = 0)
{
    StationRecord s;
    s.station = id;
    s.present = s.connected = 1;
    s.model = model;
    s.capacity = 4;
    s.voltage = 1;
    s.version = 0x0015;
    s.fault = fault;
    s.fault2 = fault2;
    return s;
}

// The file layout written out by hand: counts and words little-endian, short strings with a
// one-byte length.
class Bytes {
public:
    Bytes& Count(uint16_t n) { return Word(n); }
    Bytes& Word(uint16_t w)
    {
        data_.append(char(w & 0xFF));
        data_.append(char(w >> 8));
        return *this;
    }
    Bytes& Text(const QByteArray& t)
    {
        data_.append(char(t.size()));
        data_.append(t);
        return *this;
    }
    const QByteArray& Data() const { return data_; }

private:
    QByteArray data_;
};

QByteArray OneRecordFile()
{
    Bytes b;
    b.Count(1).Text("2024.03.05");
    b.Count(1).Text("07:08:09");
    b.Count(1).Word(3);
    b.Count(1).Word(10);
    b.Count(1).Word(0xFFFF);
    b.Count(1).Word(1);
    b.Count(1).Word(0x0000);
    b.Count(1).Word(0x0004);
    b.Count(1).Text("Pump \xE9");  // Windows-1252 e-acute
    return b.Data();
}

class FaultHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("history.log"));
    }

    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QTemporaryDir dir_;
    QString path_;
    MessageLog messages_;
};

TEST_F(FaultHistoryTest, the201stFaultDropsTheOldest)
{
    CHistory history;
    for (int i = 1; i <= 200; ++i)
        ASSERT_FALSE(history.Add(Station(i % 255 + 1, 4, i), QString(), kWhen.addSecs(i)));
    EXPECT_TRUE(history.Add(Station(7, 4, 201), QString(), kWhen.addSecs(201)));
    ASSERT_EQ(history.Count(), CHistory::kMaxRecords);
    EXPECT_EQ(history.Get(0).fault1, 201);
    EXPECT_EQ(history.RowTexts(0)[0], "1");
    EXPECT_EQ(history.Get(199).fault1, 2);  // the first is gone, the second oldest is last
    EXPECT_EQ(history.RowTexts(199)[0], "200");
}

TEST_F(FaultHistoryTest, recordKeepsLow16BitsTimeAndDeviceName)
{
    CHistory history;
    StationRecord s = Station(12, 10, 0x12345, 0x10002);
    s.capacity = 0xFFFF;
    history.Add(s, QStringLiteral("Fan"), kWhen);
    history.Add(s, QString(), kWhen);  // same second: two records, same stamp
    ASSERT_EQ(history.Count(), 2);
    const FaultRecord& r = history.Get(1);
    EXPECT_EQ(r.date, "2024.03.05");
    EXPECT_EQ(r.time, "07:08:09");
    EXPECT_EQ(r.station, 12);
    EXPECT_EQ(r.model, 10);
    EXPECT_EQ(r.capacity, 0xFFFF);
    EXPECT_EQ(r.voltage, 1);
    EXPECT_EQ(r.fault1, 0x2345);
    EXPECT_EQ(r.fault2, 0x0002);
    EXPECT_EQ(r.deviceName, "Fan");
    EXPECT_EQ(history.Get(0).deviceName, "");
    EXPECT_EQ(history.Get(0).time, r.time);
}

TEST_F(FaultHistoryTest, rowTextsFormatModelCapacityAndEitherFaultWord)
{
    CHistory history;
    history.Add(Station(3, 10, 0, 0x0004), QString(), kWhen);
    StationRecord small = Station(5, 8, 0x0041);
    small.capacity = 0xFFFF;
    history.Add(small, QStringLiteral("Conveyor"), kWhen);
    EXPECT_EQ(history.RowTexts(0), (QStringList{"1", "2024.03.05", "07:08:09", "5", "Conveyor", "QM-E20",
                                                "0.4kW-4", "Over Current (OCT1)"}));
    // Only the second fault word is set: its text stands in.
    EXPECT_EQ(history.RowTexts(1), (QStringList{"2", "2024.03.05", "07:08:09", "3", "", "QM-B20X", "3.7kW-4",
                                                "Drive NTC Open (NTC)"}));
}

TEST_F(FaultHistoryTest, fileLayoutIsExactAndEveryAddIsSavedAtOnce)
{
    CHistory history(&messages_);
    ASSERT_TRUE(history.Open(path_));  // no file yet: an empty history
    EXPECT_EQ(Read(path_), "<missing>");
    StationRecord s = Station(3, 10, 0, 4);
    s.capacity = 0xFFFF;
    history.Add(s, QString::fromUtf8("Pump \xC3\xA9"), kWhen);
    EXPECT_EQ(Read(path_), OneRecordFile());  // on disk before any close

    history.Erase();
    history.Close();
    EXPECT_EQ(Read(path_), QByteArray(18, '\0'));
    EXPECT_TRUE(messages_.Entries().empty());
}

TEST_F(FaultHistoryTest, fileFromAnotherWriterLoadsAndTrimsTo200)
{
    WriteFile(path_, OneRecordFile());
    CHistory history;
    ASSERT_TRUE(history.Open(path_));
    ASSERT_EQ(history.Count(), 1);
    EXPECT_EQ(history.Get(0).deviceName, QString::fromUtf8("Pump \xC3\xA9"));
    EXPECT_EQ(history.Get(0).capacity, 0xFFFF);
    EXPECT_EQ(history.Get(0).fault2, 4);

    Bytes b;
    const int n = 250;
    for (const char* text : {"2024.01.01", "00:00:00"}) {
        b.Count(n);
        for (int i = 0; i < n; ++i)
            b.Text(text);
    }
    for (int column = 0; column < 6; ++column) {
        b.Count(n);
        for (int i = 0; i < n; ++i)
            b.Word(column == 0 ? i : 4);
    }
    b.Count(n);
    for (int i = 0; i < n; ++i)
        b.Text("");
    WriteFile(path_, b.Data());
    CHistory big;
    ASSERT_TRUE(big.Open(path_));
    ASSERT_EQ(big.Count(), 200);
    EXPECT_EQ(big.Get(0).station, 0);
    EXPECT_EQ(big.Get(199).station, 199);
}

TEST_F(FaultHistoryTest, damagedOrForeignFilesAreKeptAsideAndAFreshHistoryTakesTheFaults)
{
    const QByteArray good = OneRecordFile();
    QByteArray unequal = good;
    unequal[2] = 2;  // the dates claim two records; the next column supplies the second "date"
    std::vector<QByteArray> bad = {QByteArray(), good + "x", unequal, QByteArray("GIF89a....")};
    for (int cut = 1; cut < good.size(); ++cut)
        bad.push_back(good.left(cut));

    const QString aside = path_ + ".damaged";
    for (const QByteArray& bytes : bad) {
        QFile::remove(aside);
        WriteFile(path_, bytes);
        messages_.Clear();
        CHistory history(&messages_);
        history.Add(Station(1, 4, 1), QString(), kWhen);
        EXPECT_TRUE(history.Open(path_)) << bytes.toHex().toStdString();
        EXPECT_TRUE(history.IsOpened());
        ASSERT_EQ(messages_.Entries().size(), 1u) << bytes.toHex().toStdString();
        const std::string said = messages_.Entries()[0].text;
        EXPECT_NE(said.find(aside.toStdString()), std::string::npos) << said;
        EXPECT_EQ(Read(aside), bytes);  // kept, byte for byte
        EXPECT_EQ(history.Count(), 1);  // the records in memory stay and are saved
        history.Add(Station(2, 4, 1), QString(), kWhen);
        CHistory reread;
        ASSERT_TRUE(reread.Open(path_));
        EXPECT_EQ(reread.Count(), 2);
        EXPECT_EQ(messages_.Entries().size(), 1u);
    }

    // A second damaged file does not replace the first one kept aside.
    WriteFile(path_, "junk again");
    CHistory again(&messages_);
    ASSERT_TRUE(again.Open(path_));
    EXPECT_EQ(Read(path_ + ".damaged-2"), "junk again");
    EXPECT_NE(Read(aside), "junk again");
}

TEST_F(FaultHistoryTest, historyPathThatIsAFolderIsReportedAndLeftAlone)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("history.log")));
    CHistory history(&messages_);
    EXPECT_FALSE(history.Open(path_));
    EXPECT_FALSE(history.IsOpened());
    EXPECT_EQ(messages_.Entries().size(), 1u);
    EXPECT_TRUE(QFileInfo(path_).isDir());
    EXPECT_FALSE(QFileInfo::exists(path_ + ".damaged"));
}

TEST_F(FaultHistoryTest, restartReadsBackWhatTheLastRunRecorded)
{
    {
        CHistory first;
        ASSERT_TRUE(first.Open(path_));
        first.Add(Station(3, 4, 0x0041), QStringLiteral("Pump"), kWhen);
        first.Add(Station(9, 5, 0x0008), QString(), kWhen.addSecs(61));
        // no Close: the records must already be on disk
    }
    CHistory second;
    ASSERT_TRUE(second.Open(path_));
    ASSERT_EQ(second.Count(), 2);
    EXPECT_EQ(second.Get(0).station, 9);
    EXPECT_EQ(second.Get(0).time, "07:09:10");
    EXPECT_EQ(second.Get(1).deviceName, "Pump");
    EXPECT_EQ(second.RowTexts(1)[7], "Over Current (OCT)");
}

TEST_F(FaultHistoryTest, pathChangeWritesTheRecordsToTheNewFileAndKeepsTheOldOnFailure)
{
    CHistory history(&messages_);
    ASSERT_TRUE(history.Open(path_));
    history.Add(Station(3, 4, 1), QString(), kWhen);
    const QByteArray oldFile = Read(path_);

    const QString other = dir_.filePath(QStringLiteral("other.log"));
    WriteFile(other, "not a history");
    ASSERT_TRUE(history.ChangePath(other));
    EXPECT_EQ(history.Path(), other);
    EXPECT_EQ(history.Count(), 1);
    EXPECT_EQ(Read(other), oldFile);  // the confirmed overwrite holds the current records

    const QString folder = dir_.filePath(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("a-folder")));
    EXPECT_FALSE(history.ChangePath(folder));
    EXPECT_FALSE(messages_.Entries().empty());
    EXPECT_TRUE(history.IsOpened());
    EXPECT_EQ(history.Path(), other);
    history.Add(Station(4, 4, 2), QString(), kWhen);
    CHistory check;
    ASSERT_TRUE(check.Open(other));
    EXPECT_EQ(check.Count(), 2);
}

TEST_F(FaultHistoryTest, failingSavesAreReportedOncePerRunOfFailures)
{
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("sub")));
    const QString path = dir_.filePath(QStringLiteral("sub/history.log"));
    CHistory history(&messages_);
    ASSERT_TRUE(history.Open(path));
    history.Add(Station(1, 4, 1), QString(), kWhen);
    ASSERT_TRUE(QDir(dir_.filePath(QStringLiteral("sub"))).removeRecursively());
    history.Add(Station(2, 4, 1), QString(), kWhen);
    history.Add(Station(3, 4, 1), QString(), kWhen);
    EXPECT_EQ(messages_.Entries().size(), 1u);
    EXPECT_EQ(history.Count(), 3);
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("sub")));
    history.Add(Station(4, 4, 1), QString(), kWhen);  // the folder is back: saved again
    history.Add(Station(5, 4, 1), QString(), kWhen);
    ASSERT_TRUE(QDir(dir_.filePath(QStringLiteral("sub"))).removeRecursively());
    history.Add(Station(6, 4, 1), QString(), kWhen);
    EXPECT_EQ(messages_.Entries().size(), 2u);
}

TEST(FaultHistoryTexts, columnsKeysAndErrors)
{
    EXPECT_STREQ(kFaultColumns[4].header, "Device Name");
    EXPECT_EQ(kFaultColumns[4].width, 150);
    EXPECT_EQ(kFaultColumns[0].width, 40);
    EXPECT_EQ(FaultColumnKey(7), "FaultCol 7");
    EXPECT_EQ(CHistory::ErrorText(0), "Fail to initialize fault history file");
    EXPECT_EQ(CHistory::ErrorText(1), "Faild to change fault history file path");
    EXPECT_EQ(CHistory::ErrorText(5), "Faild to change fault history file path");
}

}  // namespace
}  // namespace vm
