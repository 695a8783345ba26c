// Monitoring 8 simulated stations x 5 addresses through SerialPort, CommManager and the Qt tick
// over a pseudo-terminal, in both protocols; compared with the 30 ms tick bound and with the time
// the frames would need on a real wire.

#include "BenchMonitor.h"
#include "BenchSimulator.h"
#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "platform/CommDriver.h"
#include "tests/support/CpuTime.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr int kStations = 8;
constexpr int kTicks = 300;
constexpr int kTickMs = 30;
const uint16_t kAddresses[] = {5, 10, 9, 14, 6};
constexpr int kBitsPerByte = 10;  // start, 8 data, stop

using vm::test::ProcessCpuSeconds;

// User + system time of another process, from /proc.
double ChildCpuSeconds(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)  // state ... cmajflt
        fields >> skip;
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Counter : public vm::CommClient {
public:
    void OnCommMonitor(int, const vm::CommReply& reply) override
    {
        if (reply.error == vm::kNoError) {
            ++transactions;
            values += reply.command == 'X' ? 0 : reply.count;
        } else {
            ++failures;
        }
    }
    long transactions = 0;
    long values = 0;
    long failures = 0;
};

void Measure(const char* name, int protocol, const QString& link, qint64 simPid)
{
    vm::CommDriver driver;
    vm::CommSettings settings;
    settings.portName = link.toStdString();
    settings.protocolMode = protocol;
    if (driver.Start(settings) != 0) {
        std::printf("%s: cannot open %s\n", name, settings.portName.c_str());
        return;
    }
    Counter counter;
    bench::MonitorStations(driver.Manager(), counter, kStations, kAddresses);

    const double cpu0 = ProcessCpuSeconds(), sim0 = ChildCpuSeconds(simPid);
    const double seconds = bench::RunEventLoop(kTicks * kTickMs);
    const double cpu = ProcessCpuSeconds() - cpu0, sim = ChildCpuSeconds(simPid) - sim0;
    driver.Stop();

    const double tps = static_cast<double>(counter.transactions) / seconds;
    const double bound = 1000.0 / kTickMs;
    const double perTx = counter.transactions ? 1e6 / static_cast<double>(counter.transactions) : 0;
    std::printf(
        "%-7s %ld transactions (%ld failed) in %.2f s: %.1f transactions/s = %.2f of the tick bound "
        "(%.1f/s), %.1f values/s\n",
        name, counter.transactions, counter.failures, seconds, tps, tps / bound, bound,
        static_cast<double>(counter.values) / seconds);
    std::printf("        CPU per transaction: master %.0f us, simulator %.0f us\n", cpu * perTx, sim * perTx);
}

void WireTimes()
{
    const uint16_t words[5] = {};
    const size_t kxPair =
        vm::kx485::Frame(vm::kx485::BuildExecute(1)).size() + vm::kx485::BuildAck(1, 'Y', words).size();
    const size_t mbPair = vm::modbus::BuildRead(1, 5).size() + vm::modbus::BuildReadReply(1, 0).size();
    std::printf("wire time of one frame pair (10 bits a byte) and the line's own bound:\n");
    for (int baud : {9600, 19200, 38400}) {
        for (auto [name, bytes, values] :
             {std::tuple{"kx485 Y", kxPair, 5}, std::tuple{"modbus", mbPair, 1}}) {
            const double ms = static_cast<double>(bytes * kBitsPerByte) * 1000.0 / baud;
            std::printf(
                "  %5d baud %-8s %2zu bytes %6.2f ms -> %6.1f transactions/s, %6.1f values/s "
                "(tick bound 33.3/s)\n",
                baud, name, bytes, ms, 1000.0 / ms, values * 1000.0 / ms);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const char* models[] = {"4", "5", "8", "9", "10", "4", "8", "10"};
    QStringList stations;
    for (int s = 1; s <= kStations; ++s)
        stations << QString("%1:%2").arg(s).arg(models[s - 1]);
    bench::SimulatedLine line;
    if (!line.Start(stations))
        return 1;
    std::printf("%d stations x %zu addresses, %d ticks of %d ms per protocol\n", kStations,
                std::size(kAddresses), kTicks, kTickMs);
    Measure("kx485", vm::kKx485, line.Link(), line.process.processId());
    Measure("modbus", vm::kModbusRtu, line.Link(), line.process.processId());
    WireTimes();
    line.Stop();
    return 0;
}
