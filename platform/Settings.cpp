#include "platform/Settings.h"

#include "comm/NetAddress.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace vm {

namespace {

// A stored number, or the default when the key is missing or not a number. Values beyond 32 bits
// count as out of range for every rule below.
qint64 ReadNumber(QSettings& s, const char* key, qint64 fallback)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok ? n : fallback;
}

// Rule "above max -> replacement". The registry keeps unsigned numbers, so a negative value is
// a huge one and is replaced as well.
int AboveReplaced(qint64 v, qint64 max, int replacement)
{
    return (v < 0 || v > max) ? replacement : static_cast<int>(v);
}

int Clamped(qint64 v, int lo, int hi)
{
    return static_cast<int>(std::clamp<qint64>(v, lo, hi));
}

int AnyInt(qint64 v, int fallback)
{
    return (v < INT32_MIN || v > INT32_MAX) ? fallback : static_cast<int>(v);
}

QString ExistingFileOr(const QString& stored, const QString& fallback)
{
    return (!stored.isEmpty() && QFileInfo(stored).isFile()) ? stored : fallback;
}

}  // namespace

QString DefaultFaultFilePath(const QString& logFolder)
{
    return QDir(logFolder).filePath(QStringLiteral("history.log"));
}

QString DefaultLogFilePath(const QString& logFolder)
{
    return QDir(logFolder).filePath(QStringLiteral("event.txt"));
}

QString ValidatedPort(const QString& stored, const QStringList& portNames)
{
    if (portNames.contains(stored) || IsNetworkPortName(stored.toStdString()))
        return stored;
    // Simulated lines and symlinked adapters are not discovered but are still good ports.
    if (!stored.isEmpty() && QFileInfo::exists(stored))
        return stored;
    return portNames.isEmpty() ? stored : portNames.first();
}

MainSettings LoadMainSettings(QSettings& s, const SettingsContext& context)
{
    MainSettings m;
    s.beginGroup(QStringLiteral("Main"));
    m.commMode = AboveReplaced(ReadNumber(s, "CommMode", 1), 1, 1);
    m.port = ValidatedPort(s.value(QStringLiteral("Port"), m.port).toString(), context.portNames);
    m.baudRate = AnyInt(ReadNumber(s, "BaudRate", 9600), 9600);
    const qint64 dataBit = ReadNumber(s, "DataBit", 8);
    m.dataBit = (dataBit < 5 || dataBit > 8) ? 8 : static_cast<int>(dataBit);
    m.parity = AboveReplaced(ReadNumber(s, "Parity", 0), 4, 0);
    m.stopBit = AboveReplaced(ReadNumber(s, "StopBit", 0), 2, 0);
    m.autoTxEnable = AnyInt(ReadNumber(s, "Auto Tx Enalbe", 1), 1);
    m.txActiveHigh = AnyInt(ReadNumber(s, "Tx Active High", 1), 1);
    m.timeOut = Clamped(ReadNumber(s, "TimeOut", 1000), kTimeOutMin, kTimeOutMax);
    m.netAllowance = Clamped(ReadNumber(s, "Net Allowance", 200), 0, kNetAllowanceMax);
    m.retryCount = Clamped(ReadNumber(s, "Retry Count", 3), kRetryMin, kRetryMax);
    m.pacing = ReadNumber(s, "Pacing", 0) == 1 ? 1 : 0;
    m.turnaroundMs = Clamped(ReadNumber(s, "Turnaround", 2), 0, kTurnaroundMaxMs);
    m.blockReads = ReadNumber(s, "Block Reads", 0) != 0 ? 1 : 0;
    m.blockReadMax = Clamped(ReadNumber(s, "Block Read Max", 16), kBlockReadMin, kBlockReadMax);
    m.logEnable = AnyInt(ReadNumber(s, "Log Enable", 1), 1);
    m.scanIdOne = Clamped(ReadNumber(s, "ScanIDOne", 1), kStationIdMin, kStationIdMax);
    m.scanIdFrom = Clamped(ReadNumber(s, "ScanIDFrom", 1), kStationIdMin, kStationIdMax);
    m.scanIdTo = Clamped(ReadNumber(s, "ScanIDTo", 255), kStationIdMin, kStationIdMax);
    if (m.scanIdTo < m.scanIdFrom)
        m.scanIdTo = m.scanIdFrom;
    m.scanMode = AboveReplaced(ReadNumber(s, "ScanMode", 0), 2, 2);
    m.quickScan = ReadNumber(s, "Quick Scan", 1) != 0 ? 1 : 0;
    m.quickScanTimeOut =
        Clamped(ReadNumber(s, "Quick Scan TimeOut", 100), kQuickTimeOutMin, kQuickTimeOutMax);
    m.lostRecheck = ReadNumber(s, "Lost Recheck", 1) != 0 ? 1 : 0;
    m.lostRecheckInterval =
        Clamped(ReadNumber(s, "Lost Recheck Interval", 3), kLostRecheckIntervalMin, kLostRecheckIntervalMax);
    m.faultFilePath = ExistingFileOr(s.value(QStringLiteral("Fault File Path")).toString(),
                                     DefaultFaultFilePath(context.logFolder));
    m.logFilePath = ExistingFileOr(s.value(QStringLiteral("Log File Path")).toString(),
                                   DefaultLogFilePath(context.logFolder));
    if (s.contains(QStringLiteral("ConIDs")))
        m.conIds = DecodeConIds(s.value(QStringLiteral("ConIDs")).toByteArray());
    s.endGroup();
    return m;
}

void SaveMainSettings(QSettings& s, const MainSettings& m)
{
    s.beginGroup(QStringLiteral("Main"));
    s.setValue(QStringLiteral("CommMode"), m.commMode);
    s.setValue(QStringLiteral("Port"), m.port);
    s.setValue(QStringLiteral("BaudRate"), m.baudRate);
    s.setValue(QStringLiteral("DataBit"), m.dataBit);
    s.setValue(QStringLiteral("Parity"), m.parity);
    s.setValue(QStringLiteral("StopBit"), m.stopBit);
    s.setValue(QStringLiteral("Auto Tx Enalbe"), m.autoTxEnable);
    s.setValue(QStringLiteral("Tx Active High"), m.txActiveHigh);
    s.setValue(QStringLiteral("TimeOut"), m.timeOut);
    s.setValue(QStringLiteral("Net Allowance"), m.netAllowance);
    s.setValue(QStringLiteral("Retry Count"), m.retryCount);
    s.setValue(QStringLiteral("Pacing"), m.pacing);
    s.setValue(QStringLiteral("Turnaround"), m.turnaroundMs);
    s.setValue(QStringLiteral("Block Reads"), m.blockReads);
    s.setValue(QStringLiteral("Block Read Max"), m.blockReadMax);
    s.setValue(QStringLiteral("Log Enable"), m.logEnable);
    s.setValue(QStringLiteral("ScanIDOne"), m.scanIdOne);
    s.setValue(QStringLiteral("ScanIDFrom"), m.scanIdFrom);
    s.setValue(QStringLiteral("ScanIDTo"), m.scanIdTo);
    s.setValue(QStringLiteral("ScanMode"), m.scanMode);
    s.setValue(QStringLiteral("Quick Scan"), m.quickScan);
    s.setValue(QStringLiteral("Quick Scan TimeOut"), m.quickScanTimeOut);
    s.setValue(QStringLiteral("Lost Recheck"), m.lostRecheck);
    s.setValue(QStringLiteral("Lost Recheck Interval"), m.lostRecheckInterval);
    s.setValue(QStringLiteral("Fault File Path"), m.faultFilePath);
    s.setValue(QStringLiteral("Log File Path"), m.logFilePath);
    if (m.conIds)
        s.setValue(QStringLiteral("ConIDs"), EncodeConIds(*m.conIds));
    else
        s.remove(QStringLiteral("ConIDs"));
    s.endGroup();
}

DeviceNames LoadDeviceNames(QSettings& s)
{
    DeviceNames names;
    s.beginGroup(QStringLiteral("InvName"));
    for (int i = 0; i < kDeviceNameCount; ++i)
        names[i] = s.value(QStringLiteral("Inv Name%1").arg(i)).toString();
    s.endGroup();
    return names;
}

void SaveDeviceNames(QSettings& s, const DeviceNames& names)
{
    s.beginGroup(QStringLiteral("InvName"));
    for (int i = 0; i < kDeviceNameCount; ++i)
        s.setValue(QStringLiteral("Inv Name%1").arg(i), names[i]);
    s.endGroup();
}

QByteArray EncodeConIds(const std::vector<int>& ids)
{
    QByteArray bytes;
    for (int id : ids) {
        if (id >= kStationIdMin && id <= kStationIdMax)
            bytes.append(static_cast<char>(id));
    }
    return bytes;
}

std::vector<int> DecodeConIds(const QByteArray& bytes)
{
    std::vector<int> ids;
    for (char c : bytes)
        ids.push_back(static_cast<unsigned char>(c));
    return ids;
}

QString StoredFolder(const char* key)
{
    QSettings s(kCompanyKey, kApplicationKey);
    return s.value(QStringLiteral("Main/") + QLatin1String(key)).toString();
}

void StoreFolder(const char* key, const QString& filePath)
{
    QSettings s(kCompanyKey, kApplicationKey);
    s.setValue(QStringLiteral("Main/") + QLatin1String(key), QFileInfo(filePath).absolutePath());
}

}  // namespace vm
