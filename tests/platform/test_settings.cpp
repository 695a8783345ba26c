#include "platform/ProgramFolders.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "tests/platform/QStringPrinter.h"

using namespace vm;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file() const { return dir.filePath("settings.ini"); }
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};
    SettingsContext context{dir.filePath("Log"), {"/dev/ttyS0", "/dev/ttyUSB0"}};

    void Store(const QString& key, const QVariant& value) { settings.setValue("Main/" + key, value); }
    MainSettings Load() { return LoadMainSettings(settings, context); }
};

}  // namespace

TEST_F(SettingsTest, emptyStoreGivesTheDefaults)
{
    const MainSettings m = Load();
    EXPECT_EQ(m.commMode, 1);
    EXPECT_EQ(m.port, "/dev/ttyS0");
    EXPECT_EQ(m.baudRate, 9600);
    EXPECT_EQ(m.dataBit, 8);
    EXPECT_EQ(m.parity, 0);
    EXPECT_EQ(m.stopBit, 0);
    EXPECT_EQ(m.autoTxEnable, 1);
    EXPECT_EQ(m.txActiveHigh, 1);
    EXPECT_EQ(m.timeOut, 1000);
    EXPECT_EQ(m.retryCount, 3);
    EXPECT_EQ(m.pacing, 0);
    EXPECT_EQ(m.turnaroundMs, 2);
    EXPECT_EQ(m.blockReads, 0);
    EXPECT_EQ(m.blockReadMax, 16);
    EXPECT_EQ(m.logEnable, 1);
    EXPECT_EQ(m.scanIdOne, 1);
    EXPECT_EQ(m.scanIdFrom, 1);
    EXPECT_EQ(m.scanIdTo, 255);
    EXPECT_EQ(m.scanMode, 0);
    EXPECT_EQ(m.quickScan, 1);
    EXPECT_EQ(m.quickScanTimeOut, 100);
    EXPECT_EQ(m.faultFilePath, QDir(context.logFolder).filePath("history.log"));
    EXPECT_EQ(m.logFilePath, QDir(context.logFolder).filePath("event.txt"));
    EXPECT_FALSE(m.conIds.has_value());
}

TEST_F(SettingsTest, pacingAndBlockReadsAreStoredAndBadValuesFallBack)
{
    MainSettings m = Load();
    m.pacing = 1;
    m.turnaroundMs = 7;
    m.blockReads = 1;
    m.blockReadMax = 40;
    SaveMainSettings(settings, m);
    const MainSettings back = Load();
    EXPECT_EQ(back.pacing, 1);
    EXPECT_EQ(back.turnaroundMs, 7);
    EXPECT_EQ(back.blockReads, 1);
    EXPECT_EQ(back.blockReadMax, 40);

    Store("Pacing", 5);
    Store("Turnaround", 1000);
    Store("Block Read Max", 500);
    const MainSettings clamped = Load();
    EXPECT_EQ(clamped.pacing, 0);
    EXPECT_EQ(clamped.turnaroundMs, 100);
    EXPECT_EQ(clamped.blockReadMax, 125);
}

TEST_F(SettingsTest, outOfRangeNumbersAreReplacedOrClamped)
{
    Store("TimeOut", 100);
    Store("Retry Count", 9);
    Store("ScanIDFrom", 10);
    Store("ScanIDTo", 0);
    Store("CommMode", 2);
    Store("DataBit", 4);
    Store("Parity", 5);
    Store("StopBit", 3);
    Store("ScanMode", 7);
    Store("ScanIDOne", 300);
    Store("Quick Scan TimeOut", 5);
    Store("Quick Scan", 7);
    MainSettings m = Load();
    EXPECT_EQ(m.quickScanTimeOut, 30);
    EXPECT_EQ(m.quickScan, 1);
    EXPECT_EQ(m.timeOut, 500);
    EXPECT_EQ(m.retryCount, 5);
    EXPECT_EQ(m.scanIdFrom, 10);
    EXPECT_EQ(m.scanIdTo, 10);
    EXPECT_EQ(m.commMode, 1);
    EXPECT_EQ(m.dataBit, 8);
    EXPECT_EQ(m.parity, 0);
    EXPECT_EQ(m.stopBit, 0);
    EXPECT_EQ(m.scanMode, 2);
    EXPECT_EQ(m.scanIdOne, 255);

    Store("TimeOut", 5000);
    Store("Retry Count", 1);
    Store("DataBit", 9);
    Store("ScanIDOne", 0);
    Store("Parity", -1);  // stored unsigned: a huge value
    Store("Quick Scan TimeOut", 60000);
    Store("Quick Scan", 0);
    m = Load();
    EXPECT_EQ(m.quickScanTimeOut, 1000);
    EXPECT_EQ(m.quickScan, 0);
    EXPECT_EQ(m.timeOut, 3000);
    EXPECT_EQ(m.retryCount, 2);
    EXPECT_EQ(m.dataBit, 8);
    EXPECT_EQ(m.scanIdOne, 1);
    EXPECT_EQ(m.parity, 0);
}

TEST_F(SettingsTest, valuesInsideTheirRangesAreKeptAndGarbageFallsBackToDefaults)
{
    Store("TimeOut", 501);
    Store("DataBit", 5);
    Store("Parity", 4);
    Store("StopBit", 2);
    Store("CommMode", 0);
    Store("BaudRate", 38400);
    Store("Retry Count", "lots");
    MainSettings m = Load();
    EXPECT_EQ(m.timeOut, 501);
    EXPECT_EQ(m.dataBit, 5);
    EXPECT_EQ(m.parity, 4);
    EXPECT_EQ(m.stopBit, 2);
    EXPECT_EQ(m.commMode, 0);
    EXPECT_EQ(m.baudRate, 38400);
    EXPECT_EQ(m.retryCount, 3);
}

TEST_F(SettingsTest, portMustBeListedOrStillExist)
{
    Store("Port", "/dev/ttyUSB0");
    EXPECT_EQ(Load().port, "/dev/ttyUSB0");

    Store("Port", "/dev/ttyUSB7-gone");
    EXPECT_EQ(Load().port, "/dev/ttyS0");

    // A device path discovery does not list (a simulated line, a symlink) is kept while it exists.
    QFile link(dir.filePath("line"));
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.close();
    Store("Port", link.fileName());
    EXPECT_EQ(Load().port, link.fileName());
    link.remove();
    EXPECT_EQ(Load().port, "/dev/ttyS0");
}

TEST_F(SettingsTest, filePathsFallBackToTheLogFolderWhenTheFileIsGone)
{
    const QString history = dir.filePath("elsewhere.log");
    QFile f(history);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    Store("Fault File Path", history);
    Store("Log File Path", dir.filePath("deleted.txt"));
    MainSettings m = Load();
    EXPECT_EQ(m.faultFilePath, history);
    EXPECT_EQ(m.logFilePath, QDir(context.logFolder).filePath("event.txt"));

    f.remove();
    EXPECT_EQ(Load().faultFilePath, QDir(context.logFolder).filePath("history.log"));
}

TEST_F(SettingsTest, saveThenLoadRoundTripsEveryKeyAndTheConnectedIds)
{
    MainSettings m;
    m.commMode = 0;
    m.port = "/dev/ttyUSB0";
    m.baudRate = 19200;
    m.dataBit = 7;
    m.parity = 2;
    m.stopBit = 2;
    m.autoTxEnable = 0;
    m.txActiveHigh = 0;
    m.timeOut = 1500;
    m.retryCount = 4;
    m.logEnable = 0;
    m.scanIdOne = 7;
    m.scanIdFrom = 3;
    m.scanIdTo = 9;
    m.scanMode = 1;
    m.conIds = std::vector<int>{3, 7};
    SaveMainSettings(settings, m);
    settings.sync();

    QSettings again(file(), QSettings::IniFormat);
    const MainSettings r = LoadMainSettings(again, context);
    EXPECT_EQ(r.commMode, 0);
    EXPECT_EQ(r.port, "/dev/ttyUSB0");
    EXPECT_EQ(r.baudRate, 19200);
    EXPECT_EQ(r.dataBit, 7);
    EXPECT_EQ(r.parity, 2);
    EXPECT_EQ(r.stopBit, 2);
    EXPECT_EQ(r.autoTxEnable, 0);
    EXPECT_EQ(r.txActiveHigh, 0);
    EXPECT_EQ(r.timeOut, 1500);
    EXPECT_EQ(r.retryCount, 4);
    EXPECT_EQ(r.logEnable, 0);
    EXPECT_EQ(r.scanIdOne, 7);
    EXPECT_EQ(r.scanIdFrom, 3);
    EXPECT_EQ(r.scanIdTo, 9);
    EXPECT_EQ(r.scanMode, 1);
    ASSERT_TRUE(r.conIds.has_value());
    EXPECT_EQ(*r.conIds, (std::vector<int>{3, 7}));
    EXPECT_EQ(again.value("Main/ConIDs").toByteArray(), QByteArray("\x03\x07", 2));
}

TEST_F(SettingsTest, conIdsKeepOnlyLineStationIds)
{
    EXPECT_EQ(EncodeConIds({0, 1, 255, 256, -3}), QByteArray("\x01\xff", 2));
    EXPECT_EQ(DecodeConIds(QByteArray("\x02\xfe", 2)), (std::vector<int>{2, 254}));
}

TEST_F(SettingsTest, deviceNamesRoundTripUnderInvName)
{
    DeviceNames names;
    names[0] = "zero";
    names[7] = "Conveyor 7";
    names[255] = "last";
    SaveDeviceNames(settings, names);
    EXPECT_EQ(settings.value("InvName/Inv Name7").toString(), "Conveyor 7");
    const DeviceNames loaded = LoadDeviceNames(settings);
    EXPECT_EQ(loaded[0], "zero");
    EXPECT_EQ(loaded[7], "Conveyor 7");
    EXPECT_EQ(loaded[255], "last");
    EXPECT_TRUE(loaded[8].isEmpty());
}

TEST(ProgramFoldersTest, writableExecutableFolderHoldsLogTempAndItsOwnData)
{
    QTemporaryDir exe, user, shipped;
    ASSERT_TRUE(QDir(exe.path()).mkdir("Data"));
    const ProgramFolders f = ResolveProgramFolders(exe.path(), user.path(), {shipped.path()});
    EXPECT_EQ(f.program, QDir::cleanPath(exe.path()));
    EXPECT_TRUE(QDir(exe.filePath("Log")).exists());
    EXPECT_TRUE(QDir(exe.filePath("Temp")).exists());
    EXPECT_EQ(f.log, QDir(exe.path()).filePath("Log"));
    EXPECT_EQ(f.data, QDir(exe.path()).filePath("Data"));
}

TEST(ProgramFoldersTest, unusableExecutableFolderMovesToTheUserFolderAndFindsShippedData)
{
    QTemporaryDir user, shipped;
    const QString gone = user.filePath("no-such-folder");
    const QString userProgram = QDir(user.path()).filePath("varimon");
    const ProgramFolders f =
        ResolveProgramFolders(gone, userProgram, {user.filePath("missing"), shipped.path()});
    EXPECT_EQ(f.program, userProgram);
    EXPECT_TRUE(QDir(f.log).exists());
    EXPECT_TRUE(QDir(f.temp).exists());
    EXPECT_FALSE(QDir(gone).exists());
    EXPECT_EQ(f.data, QDir::cleanPath(shipped.path()));
}

TEST_F(SettingsTest, aNetworkPortIsKeptThoughNoDeviceHasItsNameAndItsAllowanceIsBounded)
{
    Store("Port", "tcp://10.0.0.5:4001");
    Store("Net Allowance", 99999);
    const MainSettings m = Load();
    EXPECT_EQ(m.port, "tcp://10.0.0.5:4001");
    EXPECT_EQ(m.netAllowance, kNetAllowanceMax);
    Store("Net Allowance", -5);
    EXPECT_EQ(Load().netAllowance, 0);
}
