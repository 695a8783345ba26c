#include "monitor/EventLog.h"
#include "tests/monitor/FullDiskDevice.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ostream>

// Readable failure output for texts.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace vm {
namespace {

using test::FullDiskDevice;

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("event.txt"));
    }

    // A clock that advances one second per reading, from a fixed start.
    void UseFakeClock(EventLog& log)
    {
        log.SetClock([this] { return start_.addSecs(ticks_++); });
    }

    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir_;
    QString path_;
    QDateTime start_{QDate(2024, 3, 5), QTime(7, 8, 9)};
    int ticks_ = 0;
};

TEST_F(EventLogTest, fileHasHeaderAndCrLfLinesAndOnlyLoggedLinesReachIt)
{
    EventLog log;
    UseFakeClock(log);
    ASSERT_TRUE(log.Start(path_));
    EXPECT_TRUE(log.Logging());
    EXPECT_EQ(log.ErrorCode(), EventLog::kNoError);
    EXPECT_EQ(log.ErrorText(), "No Error");
    ASSERT_TRUE(log.Write(QStringLiteral("3:QM-A20(Pump) Connected")));
    log.Stop();
    ASSERT_TRUE(log.Write(QStringLiteral("3:QM-A20(Pump) 0.00 Hz Stop")));
    // Start from "open and off" appends to the same file without a second header.
    ASSERT_TRUE(log.Start(path_));
    ASSERT_TRUE(log.Write(QStringLiteral("4:QM-B20X Disconnected")));

    EXPECT_EQ(Read(path_), QByteArray("[ Varimon Event Log File ]\r\n"
                                      "Date : 2024.03.05 07:08:09\r\n"
                                      "\r\n"
                                      "2024.03.05 07:08:10 >> 3:QM-A20(Pump) Connected\r\n"
                                      "2024.03.05 07:08:12 >> 4:QM-B20X Disconnected\r\n"));
    const QStringList expected = {
        "2024.03.05 07:08:10 >> 3:QM-A20(Pump) Connected",
        "2024.03.05 07:08:11 >> 3:QM-A20(Pump) 0.00 Hz Stop",
        "2024.03.05 07:08:12 >> 4:QM-B20X Disconnected",
    };
    EXPECT_EQ(log.Lines(), expected);
}

TEST_F(EventLogTest, everyLineIsOnDiskAsSoonAsItIsWritten)
{
    EventLog log;
    UseFakeClock(log);
    ASSERT_TRUE(log.Start(path_));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(log.Write(QStringLiteral("event %1").arg(i)));
        EXPECT_TRUE(Read(path_).endsWith(QStringLiteral(" >> event %1\r\n").arg(i).toUtf8())) << i;
    }
}

TEST_F(EventLogTest, listKeepsTheLatest200LinesWhileTheFileKeepsAll)
{
    EventLog log;
    UseFakeClock(log);
    ASSERT_TRUE(log.Start(path_));
    for (int i = 1; i <= 201; ++i)
        ASSERT_TRUE(log.Write(QStringLiteral("line %1").arg(i)));
    ASSERT_EQ(log.Lines().size(), EventLog::kMaxListLines);
    EXPECT_TRUE(log.Lines().first().endsWith(" >> line 2"));
    EXPECT_TRUE(log.Lines().last().endsWith(" >> line 201"));
    const QByteArray file = Read(path_);
    EXPECT_EQ(file.count("\r\n"), 3 + 201);
    EXPECT_TRUE(file.contains(" >> line 1\r\n"));
}

TEST_F(EventLogTest, restartKeepsThePreviousFileAsOneBackup)
{
    {
        EventLog first;
        UseFakeClock(first);
        ASSERT_TRUE(first.Start(path_));
        ASSERT_TRUE(first.Write(QStringLiteral("first run")));
    }
    const QByteArray firstRun = Read(path_);
    {
        EventLog second;
        UseFakeClock(second);
        ASSERT_TRUE(second.Start(path_));
        ASSERT_TRUE(second.Write(QStringLiteral("second run")));
    }
    EXPECT_EQ(Read(EventLog::BackupPath(path_)), firstRun);
    const QByteArray secondRun = Read(path_);
    EXPECT_TRUE(secondRun.startsWith("[ Varimon Event Log File ]\r\n"));
    EXPECT_TRUE(secondRun.contains(">> second run"));
    EXPECT_FALSE(secondRun.contains(">> first run"));

    EventLog third;
    ASSERT_TRUE(third.Start(path_));
    EXPECT_EQ(Read(EventLog::BackupPath(path_)), secondRun);  // one backup, the latest
}

TEST_F(EventLogTest, oldLogThatCannotBeMovedAsideIsNeitherDeletedNorTruncated)
{
    {
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious\r\n");
    }
    // A non-empty folder where the backup belongs blocks the rename.
    ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("event.txt.bak/keep")));
    EventLog log;
    EXPECT_FALSE(log.Start(path_));
    EXPECT_FALSE(log.Logging());
    EXPECT_EQ(log.ErrorCode(), EventLog::kOpenFailed);
    EXPECT_EQ(log.ErrorText(), "Fail to open log file");
    EXPECT_EQ(Read(path_), QByteArray("precious\r\n"));
}

TEST_F(EventLogTest, openAndPathChangeFailuresSetTheirCodes)
{
    EventLog log;
    const QString nowhere = dir_.filePath(QStringLiteral("missing/event.txt"));
    EXPECT_FALSE(log.Open(nowhere));
    EXPECT_EQ(log.ErrorCode(), EventLog::kOpenFailed);
    EXPECT_FALSE(log.IsOpen());

    ASSERT_TRUE(log.Open(path_));
    EXPECT_FALSE(log.ChangePath(nowhere));
    EXPECT_EQ(log.ErrorCode(), EventLog::kPathChangeFailed);
    EXPECT_EQ(log.ErrorText(), "Faild to change log file path");
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(EventLog::ErrorText(9), "Faild to change log file path");
}

TEST_F(EventLogTest, pathChangeToAnExistingFileStartsItWithANewHeader)
{
    const QString other = dir_.filePath(QStringLiteral("other.txt"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old content\r\n");
    }
    EventLog log;
    UseFakeClock(log);
    ASSERT_TRUE(log.Start(path_));
    ASSERT_TRUE(log.ChangePath(other));
    EXPECT_TRUE(log.Logging());  // a path change leaves the logging flag alone
    EXPECT_EQ(log.Path(), other);
    ASSERT_TRUE(log.Write(QStringLiteral("moved")));
    const QByteArray content = Read(other);
    EXPECT_TRUE(content.startsWith("[ Varimon Event Log File ]\r\n"));
    EXPECT_FALSE(content.contains("old content"));
    EXPECT_TRUE(content.endsWith(" >> moved\r\n"));
    EXPECT_EQ(Read(EventLog::BackupPath(other)), QByteArray("old content\r\n"));
}

TEST_F(EventLogTest, writeFailureStopsLoggingBeforeReportingAndKeepsTheLineForThePane)
{
    EventLog log;
    UseFakeClock(log);
    FullDiskDevice* device = nullptr;
    log.SetDeviceFactory([&device](const QString&) {
        auto d = std::make_unique<FullDiskDevice>(70);  // room for the header only
        device = d.get();
        return d;
    });
    QStringList reports;
    bool loggingWhenReported = true;
    log.SetFileErrorReporter([&](const QString& m) {
        reports << m;
        loggingWhenReported = log.Logging();
    });
    ASSERT_TRUE(log.Start(path_));
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->written.startsWith("[ Varimon Event Log File ]"));

    EXPECT_FALSE(log.Write(QStringLiteral("3:QM-A20 Connected")));
    EXPECT_EQ(log.ErrorCode(), EventLog::kWriteFailed);
    EXPECT_EQ(log.ErrorText(), "Fail to write data to log file");
    EXPECT_FALSE(log.Logging());
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Lines().size(), 1);  // the pane still shows what happened
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("No space left on device"));
    EXPECT_FALSE(loggingWhenReported);  // off before anyone hears of it
    EXPECT_EQ(log.FailureText(), "Fail to write data to log file\n" + reports[0]);

    // With logging off the pane still gets its lines and no further errors follow.
    EXPECT_TRUE(log.Write(QStringLiteral("3:QM-A20 Disconnected")));
    EXPECT_EQ(log.Lines().size(), 2);
    EXPECT_EQ(reports.size(), 1);
}

TEST_F(EventLogTest, headerWriteFailureLeavesTheLogClosed)
{
    EventLog log;
    log.SetDeviceFactory([](const QString&) { return std::make_unique<FullDiskDevice>(5); });
    EXPECT_FALSE(log.Start(path_));
    EXPECT_EQ(log.ErrorCode(), EventLog::kWriteFailed);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.Logging());
}

TEST(EventMessage, deviceNameInParenthesesOnlyWhenPresent)
{
    EXPECT_EQ(EventLog::StationMessage(3, "QM-A20", "Pump 2", "Connected"), "3:QM-A20(Pump 2) Connected");
    EXPECT_EQ(EventLog::StationMessage(12, "QM-B20X", "", "Disconnected"), "12:QM-B20X Disconnected");
    // Texts that look like format placeholders pass through unchanged.
    EXPECT_EQ(EventLog::StationMessage(1, "QM-C20", "%2 fan", "%1 fault occured"),
              "1:QM-C20(%2 fan) %1 fault occured");
}

}  // namespace
}  // namespace vm
