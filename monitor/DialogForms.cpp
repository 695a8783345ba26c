#include "monitor/DialogForms.h"

#include "comm/NetAddress.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace vm {

namespace {

int IndexOr(const QStringList& list, const QString& text, int fallback)
{
    const qsizetype i = list.indexOf(text);
    return i >= 0 ? static_cast<int>(i) : fallback;
}

int InRange(int v, int lo, int hi, int fallback)
{
    return (v >= lo && v <= hi) ? v : fallback;
}

int IdValue(int v)
{
    return std::clamp(v, kStationIdMin, kStationIdMax);
}

}  // namespace

std::optional<QString> CheckInteger(const QString& text, int lo, int hi, int* value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < lo || v > hi)
        return QStringLiteral("Please enter an integer between %1 and %2.").arg(lo).arg(hi);
    *value = v;
    return std::nullopt;
}

const QStringList& PortSetupForm::BaudRates()
{
    static const QStringList list{"1200", "2400", "4800", "9600", "19200", "38400"};
    return list;
}
const QStringList& PortSetupForm::DataBits()
{
    static const QStringList list{"5", "6", "7", "8"};
    return list;
}
const QStringList& PortSetupForm::Parities()
{
    static const QStringList list{"None", "Odd", "Even", "Mark", "Space"};
    return list;
}
const QStringList& PortSetupForm::StopBits()
{
    static const QStringList list{"1", "1.5", "2"};
    return list;
}
const QStringList& PortSetupForm::Protocols()
{
    static const QStringList list{"MODBUS-RTU", "KX485"};
    return list;
}
const QStringList& PortSetupForm::TxLevels()
{
    static const QStringList list{"Active High", "Active Low"};
    return list;
}
const QStringList& PortSetupForm::Retries()
{
    static const QStringList list{"2", "3", "4", "5"};
    return list;
}
const QStringList& PortSetupForm::Pacings()
{
    static const QStringList list{"30 ms tick", "line-paced"};
    return list;
}

PortSetupForm::PortSetupForm(const MainSettings& s, const QStringList& portNames) : ports(portNames)
{
    // A stored port that is not listed was kept at load because the device exists (a simulated
    // line, a symlinked adapter): offer it too. Otherwise the first listed port is taken.
    if (!s.port.isEmpty() && !ports.contains(s.port) && !ports.isEmpty() && s.port != ports.first())
        ports.append(s.port);
    port = s.port.isEmpty() && !ports.isEmpty() ? ports.first() : s.port;
    baudIndex = IndexOr(BaudRates(), QString::number(s.baudRate), 3);
    dataBitIndex = IndexOr(DataBits(), QString::number(s.dataBit), 3);
    parityIndex = InRange(s.parity, 0, 4, 0);
    stopBitIndex = InRange(s.stopBit, 0, 2, 0);
    autoTx = s.autoTxEnable != 0;
    txLevelIndex = s.txActiveHigh ? 0 : 1;
    protocolIndex = InRange(s.commMode, 0, 1, 1);
    timeOutText = QString::number(s.timeOut);
    retryIndex = IndexOr(Retries(), QString::number(s.retryCount), 0);
    pacingIndex = InRange(s.pacing, 0, 1, 0);
    turnaroundText = QString::number(s.turnaroundMs);
    blockReads = s.blockReads != 0;
    blockReadMaxText = QString::number(s.blockReadMax);
    netAllowance = s.netAllowance;
}

bool PortSetupForm::NetAllowanceEnabled() const
{
    return IsNetworkPortName(port.trimmed().toStdString());
}

std::optional<QString> PortSetupForm::Apply(MainSettings& s) const
{
    int timeOut = 0, turnaround = 0, blockMax = 0;
    if (auto error = CheckInteger(timeOutText, kTimeOutMin, kTimeOutMax, &timeOut))
        return error;
    if (auto error = CheckInteger(turnaroundText, 0, kTurnaroundMaxMs, &turnaround))
        return error;
    if (auto error = CheckInteger(blockReadMaxText, kBlockReadMin, kBlockReadMax, &blockMax))
        return error;
    const QString typedPort = port.trimmed();
    if (typedPort.isEmpty())
        return QStringLiteral("Please enter a communication port.");
    if (IsNetworkPortName(typedPort.toStdString()))
        if (const Result<NetAddress> address = ParseNetAddress(typedPort.toStdString()); !address)
            return QString::fromStdString(address.Text());
    s.port = typedPort;
    s.timeOut = timeOut;
    s.commMode = protocolIndex;
    s.parity = parityIndex;
    s.stopBit = stopBitIndex;
    s.baudRate = BaudRates().value(baudIndex, QStringLiteral("9600")).toInt();
    s.dataBit = DataBits().value(dataBitIndex, QStringLiteral("8")).toInt();
    s.retryCount = Retries().value(retryIndex, QStringLiteral("3")).toInt();
    s.netAllowance = std::clamp(netAllowance, 0, kNetAllowanceMax);
    s.autoTxEnable = autoTx ? 1 : 0;
    s.txActiveHigh = txLevelIndex == 0 ? 1 : 0;
    s.pacing = pacingIndex == 1 ? 1 : 0;
    s.turnaroundMs = turnaround;
    s.blockReads = blockReads ? 1 : 0;
    s.blockReadMax = blockMax;
    return std::nullopt;
}

SelectIdForm::SelectIdForm(const MainSettings& s)
    : mode(std::clamp(s.scanMode, 0, 2)), quickScan(s.quickScan != 0)
{
    const int one = IdValue(s.scanIdOne);
    const int to = IdValue(s.scanIdTo);
    const int from = std::min(IdValue(s.scanIdFrom), to);
    oneText = QString::number(one);
    fromText = QString::number(from);
    toText = QString::number(to);
}

std::optional<QString> SelectIdForm::Accept(MainSettings& s)
{
    // Only the fields of the chosen mode are read; the others keep what the settings hold.
    int one = s.scanIdOne, from = s.scanIdFrom, to = s.scanIdTo;
    std::vector<std::pair<QString*, int*>> fields;
    if (mode == kScanOneId)
        fields = {{&oneText, &one}};
    else if (mode == kScanRange)
        fields = {{&fromText, &from}, {&toText, &to}};
    for (auto [text, value] : fields) {
        if (auto error = CheckInteger(*text, kStationIdMin, kStationIdMax, value))
            return error;
    }
    if (mode == kScanRange && to < from) {
        to = from;
        toText = QString::number(to);
    }
    s.scanMode = mode;
    s.scanIdOne = one;
    s.scanIdFrom = from;
    s.scanIdTo = to;
    s.quickScan = quickScan ? 1 : 0;
    return std::nullopt;
}

std::vector<int> SelectIdForm::Ids(const MainSettings& s)
{
    std::vector<int> ids;
    switch (s.scanMode) {
    case kScanOneId:
        ids.push_back(s.scanIdOne);
        break;
    case kScanRange:
        for (int id = s.scanIdFrom; id <= s.scanIdTo; ++id)
            ids.push_back(id);
        break;
    default:
        for (int id = 1; id <= 31; ++id)
            ids.push_back(id);
        break;
    }
    return ids;
}

}  // namespace vm
