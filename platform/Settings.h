#pragma once
// The main window's stored settings: section "Main" and the device names of section "InvName",
// kept under QSettings("KXEC", "Varimon 3.0"). Values are validated as they are read, so the
// rest of the program never sees an out-of-range setting.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class QSettings;

namespace vm {

inline constexpr const char* kCompanyKey = "KXEC";
inline constexpr const char* kApplicationKey = "Varimon 3.0";
inline constexpr int kDeviceNameCount = 256;

// Port used when nothing better is known: the first built-in serial port.
inline constexpr const char* kDefaultPortName = "/dev/ttyS0";

enum ScanMode { kScanOneId = 0, kScanRange = 1, kScanAllIds = 2 };

struct MainSettings {
    int commMode = 1;  // 0 Modbus-RTU, 1 KX485
    QString port = kDefaultPortName;
    int baudRate = 9600;
    int dataBit = 8;
    int parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBit = 0;       // 0 one, 1 one and a half, 2 two
    int autoTxEnable = 1;  // 1 converter switches itself, 0 RTS drives the transmitter
    int txActiveHigh = 1;
    int timeOut = 1000;  // ms
    int retryCount = 3;
    int pacing = 0;        // 0 "30 ms tick", 1 "line-paced"
    int turnaroundMs = 2;  // line-paced: silence after each transaction, besides Modbus t3.5
    int blockReads = 0;    // Modbus: consecutive monitor reads in one request
    int blockReadMax = 16;
    int netAllowance = 200;  // ms added to the time-out on tcp:// and rfc2217:// ports
    int logEnable = 1;
    int scanIdOne = 1;
    int scanIdFrom = 1;
    int scanIdTo = 255;
    int scanMode = kScanOneId;
    // A scan from the Select ID dialog gives a silent ID one short attempt (ms) instead of the
    // full time-out and repetitions.
    int quickScan = 1;
    int quickScanTimeOut = 100;
    // Lost inverters are asked by themselves whether they are back: first every interval (s),
    // after five misses in a row every ten intervals.
    int lostRecheck = 1;
    int lostRecheckInterval = 3;
    QString faultFilePath;
    QString logFilePath;
    // Station IDs connected at the last shutdown; absent when never saved.
    std::optional<std::vector<int>> conIds;
};

using DeviceNames = std::array<QString, kDeviceNameCount>;

// Folders and port names the loader needs to validate paths and the port.
struct SettingsContext {
    QString logFolder;      // fallback folder of the fault history and event log
    QStringList portNames;  // discovered port names, in discovery order
};

inline constexpr int kTimeOutMin = 500;
inline constexpr int kTimeOutMax = 3000;
inline constexpr int kNetAllowanceMax = 10000;
inline constexpr int kRetryMin = 2;
inline constexpr int kRetryMax = 5;
inline constexpr int kTurnaroundMaxMs = 100;
inline constexpr int kBlockReadMin = 2;
inline constexpr int kBlockReadMax = 125;
inline constexpr int kQuickTimeOutMin = 30;
inline constexpr int kLostRecheckIntervalMin = 1;
inline constexpr int kLostRecheckIntervalMax = 600;
inline constexpr int kQuickTimeOutMax = 1000;
inline constexpr int kStationIdMin = 1;
inline constexpr int kStationIdMax = 255;

// Default file names in the log folder.
QString DefaultFaultFilePath(const QString& logFolder);
QString DefaultLogFilePath(const QString& logFolder);

// The stored port when it is listed or still names a device; otherwise the first listed port.
QString ValidatedPort(const QString& stored, const QStringList& portNames);

// The folder a file dialog last used, kept in section "Main" under key (e.g. "Para File Dir").
QString StoredFolder(const char* key);
void StoreFolder(const char* key, const QString& filePath);

MainSettings LoadMainSettings(QSettings& settings, const SettingsContext& context);
void SaveMainSettings(QSettings& settings, const MainSettings& values);

DeviceNames LoadDeviceNames(QSettings& settings);
void SaveDeviceNames(QSettings& settings, const DeviceNames& names);

// "ConIDs": one byte per station ID.
QByteArray EncodeConIds(const std::vector<int>& ids);
std::vector<int> DecodeConIds(const QByteArray& bytes);

}  // namespace vm
