// Line-paced against tick-paced scheduling through SerialPort, CommManager and the Qt timers over a
// pseudo-terminal, on varimon-sim holding each reply back by its time on a real wire: monitor
// transactions/s against the wire bound, transfers of the largest data file, and the graph
// monitor's fresh values per channel. Every ratio is measured in this run.

#include "BenchMonitor.h"
#include "BenchSimulator.h"
#include "catalogue/Models.h"
#include "catalogue/MonitorItems.h"
#include "catalogue/Registers.h"
#include "catalogue/StationRecord.h"
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "paramdb/ParameterData.h"
#include "platform/CommDriver.h"
#include "scope/ScopeView.h"
#include "tests/support/FakeToolHost.h"
#include "transfer/ParaTransfer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

using namespace vm;

namespace {

constexpr int kTickMs = 30;
constexpr double kResponseMs = 0.5;  // the simulated drives' response time

struct Line {
    int protocol = kModbusRtu;
    int baud = 9600;
    Pacing pacing = Pacing::Tick;
    bool blocks = false;
};

const char* Name(int protocol)
{
    return protocol == kKx485 ? "kx485" : "modbus";
}
const char* Name(const Line& l)
{
    return l.pacing == Pacing::Tick ? "30 ms tick" : l.blocks ? "line+blocks" : "line-paced";
}

CommSettings Settings(const QString& link, const Line& l)
{
    CommSettings s;
    s.portName = link.toStdString();
    s.protocolMode = l.protocol;
    s.baudRate = l.baud;
    s.pacing = l.pacing;
    s.blockReads = l.blocks;
    return s;
}

// Seconds one transaction of these frame sizes needs on the wire: both frames, the drive's
// response and the silence line pacing keeps after it.
double WireSeconds(const Line& l, size_t bytes)
{
    CommSettings s;
    s.baudRate = l.baud;
    const double gap = InterFrameGapUs(s, l.protocol == kModbusRtu, s.turnaroundUs) * 1e-6;
    return static_cast<double>(bytes) * 10.0 / l.baud + kResponseMs * 1e-3 + gap;
}

size_t ReadPairBytes(int protocol)
{
    const uint16_t one[1] = {};
    if (protocol == kKx485)
        return kx485::Frame(kx485::BuildRead(1, 0x5101)).size() + kx485::BuildAck(1, 'R', one).size();
    return modbus::BuildRead(1, 0x5101).size() + 7;
}

size_t WritePairBytes(int protocol)
{
    // A drive's answer to a write echoes the value written.
    const uint16_t one[1] = {};
    if (protocol == kKx485)
        return kx485::Frame(kx485::BuildWrite(1, 0x5101, 0)).size() + kx485::BuildAck(1, 'W', one).size();
    return modbus::BuildWrite(1, 0x5101, 0).size() + 8;
}

bool StartSim(QProcess& sim, const QString& link, const Line& l, const QStringList& stations)
{
    QStringList args{"--link",     link,
                     "--wire",     QString::number(l.baud),
                     "--response", QString::number(kResponseMs),
                     "--protocol", l.protocol == kKx485 ? "kx485" : "modbus"};
    for (const QString& s : stations)
        args << "--station" << s;
    return bench::StartSimulator(sim, args);
}

class Counter : public CommClient {
public:
    void OnCommMonitor(int, const CommReply& reply) override
    {
        if (reply.error != kNoError || reply.command == 'X')
            return;
        if (ok++ == 0)
            clock.start();
        last = clock.nsecsElapsed();
    }
    double PerSecond() const { return ok > 1 ? (ok - 1) / (last * 1e-9) : 0; }
    long ok = 0;
    qint64 last = 0;
    QElapsedTimer clock;
};

// Monitor transactions/s of one address of one station.
double Throughput(const QString& link, const Line& l)
{
    CommDriver driver;
    if (driver.Start(Settings(link, l)) != 0)
        return 0;
    Counter counter;
    const uint16_t address[] = {reg::kFreqCommand};
    bench::MonitorStations(driver.Manager(), counter, 1, address);
    bench::RunEventLoop(1500);
    driver.Stop();
    return counter.PerSecond();
}

void Transactions()
{
    std::printf(
        "monitor transactions/s of one address on the wire-timed simulator (%.1f ms response; bound = "
        "frames + response + t3.5 (Modbus) + %.1f ms turnaround)\n",
        kResponseMs, kDefaultTurnaroundUs / 1000.0);
    const uint16_t one[1] = {};
    for (int protocol : {kKx485, kModbusRtu}) {
        const size_t bytes = protocol == kKx485 ? kx485::Frame(kx485::BuildExecute(1)).size() +
                                                      kx485::BuildAck(1, 'Y', one).size()
                                                : modbus::BuildRead(1, 5).size() + 7;
        for (int baud : {9600, 19200, 38400, 115200}) {
            QTemporaryDir dir;
            const QString link = dir.filePath("line");
            QProcess sim;
            Line l{protocol, baud, Pacing::Line};
            if (!StartSim(sim, link, l, {"1:QM-A20"}))
                return;
            const double line = Throughput(link, l);
            l.pacing = Pacing::Tick;
            const double tick = Throughput(link, l);
            const double bound = 1.0 / WireSeconds(l, bytes);
            std::printf(
                "  %-6s %6d baud: line-paced %6.1f/s = %.2f of the wire bound %6.1f/s; 30 ms tick %5.1f/s; "
                "line/tick %.2f\n",
                Name(protocol), baud, line, line / bound, bound, tick, tick > 0 ? line / tick : 0);
            sim.terminate();
            sim.waitForFinished(30000);
        }
    }
}

double TransferSeconds(CommManager& manager, StationRecord& record, TransferOperation op,
                       const std::string& file, bool verify, bool* ok)
{
    MessageLog messages;
    Result<TransferSet> set =
        PrepareTransferSet(op, file, TransferFileKind::Parameter, *record.paramData, messages);
    if (!set)
        return 0;
    ParaTransfer transfer(manager, record);
    QEventLoop loop;
    transfer.onPaused = [&](ParaTransfer::PauseReason) { transfer.AnswerStop(true); };
    transfer.onEnded = [&] { loop.quit(); };
    ParaTransfer::Options options;
    options.verify = verify;
    QElapsedTimer clock;
    clock.start();
    if (!transfer.Start(op, std::move(set).Value(), options))
        return 0;
    loop.exec();
    *ok = transfer.GetEnd() == ParaTransfer::End::Finished && transfer.Failed().empty() &&
          transfer.Mismatches().empty();
    if (op == TransferOperation::Upload)
        *ok = *ok && transfer.SaveUpload(file, messages).Ok();
    return static_cast<double>(clock.nsecsElapsed()) * 1e-9;
}

void Transfers()
{
    std::filesystem::path best;
    for (const auto& e : std::filesystem::recursive_directory_iterator(VARIMON_DATA_DIR))
        if (e.path().extension() == ".dat" &&
            (best.empty() || e.file_size() > std::filesystem::file_size(best)))
            best = e.path();
    const std::string stem = best.stem().string();
    const std::string modelName = stem.substr(0, stem.rfind('_'));
    StationRecord record;
    record.station = 1;
    record.present = record.connected = 1;
    for (int m = 0; m < 256 && record.model <= 0; ++m)
        if (ModelName(m) == modelName)
            record.model = m;
    record.version = std::stoi(stem.substr(stem.rfind('_') + 1), nullptr, 16);
    record.timeScale = kDefaultTimeScale;
    record.paramData = std::make_shared<ParameterData>();
    if (!record.paramData->LoadDataFile(record, VARIMON_DATA_DIR))
        return;
    const int parameters = record.paramData->TotalItemCount();
    int writable = 0;
    for (const auto& g : record.paramData->Groups())
        for (const auto& item : g->items)
            writable += item->writable ? 1 : 0;
    std::printf(
        "%s: upload %d parameters, download %d (the leading write included below), verify reads them back; "
        "seconds (ratio to the wire bound of single reads and writes)\n",
        modelName.c_str(), parameters, writable);
    for (int protocol : {kKx485, kModbusRtu}) {
        for (int baud : {9600, 38400}) {
            QTemporaryDir dir;
            const QString link = dir.filePath("line");
            QProcess sim;
            if (!StartSim(sim, link, {protocol, baud}, {QString::fromStdString("1:" + modelName)}))
                return;
            const std::string file = dir.filePath("drive.par").toStdString();
            std::vector<Line> lines{{protocol, baud, Pacing::Tick}, {protocol, baud, Pacing::Line}};
            if (protocol == kModbusRtu)
                lines.push_back({protocol, baud, Pacing::Line, true});
            for (const Line& l : lines) {
                const double up = parameters * WireSeconds(l, ReadPairBytes(protocol));
                const double down = (writable + 1) * WireSeconds(l, WritePairBytes(protocol));
                const double verify = down + writable * WireSeconds(l, ReadPairBytes(protocol));
                CommDriver driver;
                if (driver.Start(Settings(link, l)) != 0)
                    return;
                bool ok1 = false, ok2 = false, ok3 = false;
                const double u =
                    TransferSeconds(driver.Manager(), record, TransferOperation::Upload, file, false, &ok1);
                const double d =
                    TransferSeconds(driver.Manager(), record, TransferOperation::Download, file, false, &ok2);
                const double v =
                    TransferSeconds(driver.Manager(), record, TransferOperation::Download, file, true, &ok3);
                driver.Stop();
                std::printf(
                    "  %-6s %5d baud %-10s upload %5.2f s (%.2f)%s, download %5.2f s (%.2f)%s, "
                    "download+verify %5.2f s (%.2f)%s\n",
                    Name(protocol), baud, Name(l), u, up / u, ok1 ? "" : " FAILED", d, down / d,
                    ok2 ? "" : " FAILED", v, verify / v, ok3 ? "" : " FAILED");
            }
            sim.terminate();
            sim.waitForFinished(30000);
        }
    }
}

// Counts the monitor results carrying each of the four graph channels' addresses.
class FreshCounter : public CommClient {
public:
    void OnCommMonitor(int station, const CommReply& reply) override
    {
        if (station != 1 || reply.error != kNoError)
            return;
        for (int i = 0; i < reply.count; ++i)
            for (size_t c = 0; c < addresses.size(); ++c)
                if (reply.addresses[static_cast<size_t>(i)] == addresses[c])
                    ++fresh[c];
    }
    Role CommRole() const override { return Role::GraphMonitor; }
    std::array<uint16_t, 4> addresses{reg::kFreqCommand, reg::kCurrent, reg::kSpeed, reg::kFault};
    std::array<long, 4> fresh{};
};

void GraphMonitor()
{
    constexpr int kDrives = 5, kSeconds = 10;
    std::printf(
        "graph monitor, modbus 9600 baud, four channels at 0.1 s, %d drives listed (fault watch), %d s each: "
        "fresh values per channel per s\n",
        kDrives, kSeconds);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString link = dir.filePath("line");
    QStringList stations;
    for (int s = 1; s <= kDrives; ++s)
        stations << QString("%1:QM-A20").arg(s);
    QProcess sim;
    if (!StartSim(sim, link, {kModbusRtu, 9600}, stations))
        return;
    for (const Line& l : {Line{kModbusRtu, 9600, Pacing::Tick}, Line{kModbusRtu, 9600, Pacing::Line},
                          Line{kModbusRtu, 9600, Pacing::Line, true}}) {
        CommDriver driver;
        if (driver.Start(Settings(link, l)) != 0)
            return;
        CommManager& manager = driver.Manager();
        test::FakeToolHost host(&manager);
        host.folders.temp = dir.path();
        for (int s = 1; s <= kDrives; ++s) {
            StationRecord& r = host.Record(s);
            r.present = r.connected = 1;
            r.model = kModelQmA20;
            r.version = 0x100;
            manager.AddMonitor(s, FaultWatchAddresses(r.model, r.version));
        }
        manager.SetPollRange(1, kDrives);
        auto view = std::make_unique<scope::CScopeView>(host);
        view->InitialUpdate();
        FreshCounter counter;
        const auto items = BuildItemSet(kModelQmA20, 0x100, kSetGraph);
        for (int c = 0; c < 4; ++c) {
            view->SetChannelOn(c, true);
            view->ChooseStation(c, 1);
            for (size_t k = 0; k < items.size(); ++k)
                if (items[k].address == counter.addresses[static_cast<size_t>(c)])
                    view->ChooseAddress(c, static_cast<int>(k));
        }
        view->ChooseScan(0);
        view->StartMonitor();
        manager.AddListener(1, &counter);
        bench::RunEventLoop(kSeconds * 1000);
        std::printf("  %-11s", Name(l));
        for (long f : counter.fresh)
            std::printf(" %5.1f", f / static_cast<double>(kSeconds));
        std::printf("   (the 0.1 s scan needs 10)\n");
        manager.RemoveListener(1, &counter);
        view.reset();
        driver.Stop();
    }
    sim.terminate();
    sim.waitForFinished(30000);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // One part alone when named: transactions, graph or transfers.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == "transactions")
        Transactions();
    if (only.isEmpty() || only == "graph")
        GraphMonitor();
    if (only.isEmpty() || only == "transfers")
        Transfers();
    return 0;
}
