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

    // A value stored under a key and what the loaded setting holds for it.
    struct Stored {
        const char* key;
        QVariant value;
        int MainSettings::*field;
        int loaded;
    };
    // Stores every value, then loads once: some limits depend on other keys.
    void ExpectLoaded(std::initializer_list<Stored> rows)
    {
        for (const Stored& row : rows)
            Store(row.key, row.value);
        const MainSettings m = Load();
        for (const Stored& row : rows)
            EXPECT_EQ(m.*row.field, row.loaded)
                << row.key << " stored as " << row.value.toString().toStdString();
    }
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

    ExpectLoaded({
        {"Pacing", 5, &MainSettings::pacing, 0},
        {"Turnaround", 1000, &MainSettings::turnaroundMs, 100},
        {"Block Read Max", 500, &MainSettings::blockReadMax, 125},
    });
}

TEST_F(SettingsTest, outOfRangeNumbersAreReplacedOrClamped)
{
    // clang-format off
    ExpectLoaded({
        {"TimeOut",            100,   &MainSettings::timeOut,          500},
        {"Retry Count",        9,     &MainSettings::retryCount,       5},
        {"ScanIDFrom",         10,    &MainSettings::scanIdFrom,       10},
        {"ScanIDTo",           0,     &MainSettings::scanIdTo,         10},
        {"CommMode",           2,     &MainSettings::commMode,         1},
        {"DataBit",            4,     &MainSettings::dataBit,          8},
        {"Parity",             5,     &MainSettings::parity,           0},
        {"StopBit",            3,     &MainSettings::stopBit,          0},
        {"ScanMode",           7,     &MainSettings::scanMode,         2},
        {"ScanIDOne",          300,   &MainSettings::scanIdOne,        255},
        {"Quick Scan TimeOut", 5,     &MainSettings::quickScanTimeOut, 30},
        {"Quick Scan",         7,     &MainSettings::quickScan,        1},
    });
    ExpectLoaded({
        {"TimeOut",            5000,  &MainSettings::timeOut,          3000},
        {"Retry Count",        1,     &MainSettings::retryCount,       2},
        {"DataBit",            9,     &MainSettings::dataBit,          8},
        {"ScanIDOne",          0,     &MainSettings::scanIdOne,        1},
        {"Parity",             -1,    &MainSettings::parity,           0},  // stored unsigned: a huge value
        {"Quick Scan TimeOut", 60000, &MainSettings::quickScanTimeOut, 1000},
        {"Quick Scan",         0,     &MainSettings::quickScan,        0},
    });
    // clang-format on
}

TEST_F(SettingsTest, valuesInsideTheirRangesAreKeptAndGarbageFallsBackToDefaults)
{
    // clang-format off
    ExpectLoaded({
        {"TimeOut",     501,    &MainSettings::timeOut,    501},
        {"DataBit",     5,      &MainSettings::dataBit,    5},
        {"Parity",      4,      &MainSettings::parity,     4},
        {"StopBit",     2,      &MainSettings::stopBit,    2},
        {"CommMode",    0,      &MainSettings::commMode,   0},
        {"BaudRate",    38400,  &MainSettings::baudRate,   38400},
        {"Retry Count", "lots", &MainSettings::retryCount, 3},
    });
    // clang-format on
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
