// The plant network: monitoring 8 simulated stations through ser2net (raw TCP and RFC 2217)
// against the same stations on the local pty, as a ratio; and the cost of publishing 32 stations
// to a mosquitto broker: CPU of the line's (UI) thread and of the whole process, against the same
// loop handing its messages to a sink that drops them, and with the broker down.

#include "BenchMonitor.h"
#include "BenchSimulator.h"
#include "platform/CommDriver.h"
#include "publish/DriveFeed.h"
#include "publish/MqttPublisher.h"
#include "tests/support/ServerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kStations = 8;
constexpr int kTicks = 200;
constexpr int kTickMs = 30;
const uint16_t kAddresses[] = {5, 10, 9, 14, 6};
constexpr int kServerWaitMs = 10000;

double Cpu(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

class Counter : public vm::CommClient {
public:
    void OnCommMonitor(int, const vm::CommReply& reply) override
    {
        reply.error == vm::kNoError ? ++ok : ++failed;
    }
    long ok = 0;
    long failed = 0;
};

// Transactions per second and mean reply time over kTicks ticks.
double Monitor(const char* name, const std::string& port)
{
    vm::CommDriver driver;
    vm::CommSettings settings;
    settings.portName = port;
    if (driver.Start(settings) != 0) {
        std::printf("%-8s cannot open %s\n", name, port.c_str());
        return 0;
    }
    Counter counter;
    vm::CommManager& manager = driver.Manager();
    bench::MonitorStations(manager, counter, kStations, kAddresses);
    const double seconds = bench::RunEventLoop(kTicks * kTickMs);
    double replyUs = 0;
    long replies = 0;
    for (int s = 1; s <= kStations; ++s) {
        const vm::StationHealth& h = manager.Health(s);
        replyUs += static_cast<double>(h.replySumUs);
        replies += static_cast<long>(h.timed);
    }
    driver.Stop();
    const double tps = static_cast<double>(counter.ok) / seconds;
    std::printf("%-8s %5ld transactions (%ld failed) in %.2f s: %5.1f/s, mean reply %.2f ms\n", name,
                counter.ok, counter.failed, seconds, tps,
                replies ? replyUs / static_cast<double>(replies) / 1000.0 : 0.0);
    return tps;
}

struct Cost {
    double uiUsPerTick = 0;
    double processPercent = 0;
    vm::PublisherStats stats;
};

// 32 stations, every value changing at every 30 ms tick, as the main window would hand them over.
Cost Publish(vm::MqttPublisher* publisher, int stations, int ticks)
{
    class Null : public vm::PublishSink {
    public:
        void Publish(vm::PublishMessage) override {}
    } null;
    vm::DriveFeed feed(publisher ? static_cast<vm::PublishSink&>(*publisher) : null, "bench", 0);
    std::vector<vm::StationRecord> records(static_cast<size_t>(stations) + 1);
    for (int s = 1; s <= stations; ++s) {
        vm::StationRecord& r = records[static_cast<size_t>(s)];
        r.station = s;
        r.present = r.connected = 1;
        r.model = 10;
        r.capacity = 0x14;
        r.version = 0x0104;
        r.timeScale = 100;
    }
    const double ui0 = Cpu(CLOCK_THREAD_CPUTIME_ID), proc0 = Cpu(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer clock;
    clock.start();
    int tick = 0;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const int64_t now = clock.elapsed();
        for (int s = 1; s <= stations; ++s) {
            vm::StationRecord& r = records[static_cast<size_t>(s)];
            r.current = (tick + s) % 500;
            r.speed = (tick * 7 + s) % 6000;
            feed.StationUpdated(r, "Pump", now);
        }
        if (tick % 10 == 0)
            feed.EventLine("2026.12.09 21:40:05 >> 1:QM-B20X 30.00 Hz Forward Running");
        if (++tick >= ticks)
            loop.quit();
    });
    timer.start(kTickMs);
    loop.exec();
    Cost c;
    const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    c.uiUsPerTick = (Cpu(CLOCK_THREAD_CPUTIME_ID) - ui0) * 1e6 / ticks;
    // Let the worker drain what the last ticks queued before the process is measured.
    if (publisher)
        for (int i = 0; i < 200 && publisher->Stats().queued > 0 && publisher->Stats().connected; ++i)
            QThread::msleep(5);
    c.processPercent = (Cpu(CLOCK_PROCESS_CPUTIME_ID) - proc0) * 100.0 / seconds;
    if (publisher)
        c.stats = publisher->Stats();
    return c;
}

void PrintCost(const char* name, const Cost& c, const Cost& base)
{
    std::printf(
        "%-22s UI thread %7.1f us/tick (%.2fx with a null sink), process %5.2f %% CPU, %llu published, "
        "%llu dropped\n",
        name, c.uiUsPerTick, base.uiUsPerTick > 0 ? c.uiUsPerTick / base.uiUsPerTick : 0.0, c.processPercent,
        static_cast<unsigned long long>(c.stats.published), static_cast<unsigned long long>(c.stats.dropped));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList stations;
    for (int s = 1; s <= kStations; ++s)
        stations << QString("%1:10").arg(s);
    bench::SimulatedLine line;
    if (!line.Start(stations))
        return 1;
    const QString link = line.Link();

    std::printf("monitor, %d stations x %zu addresses, KX485 at 9600 baud, %d ticks of %d ms:\n", kStations,
                std::size(kAddresses), kTicks, kTickMs);
    const double local = Monitor("pty", link.toStdString());
    for (const bool rfc : {false, true}) {
        const int port = vm::test::FreeLoopbackPort();
        const QString config = line.FilePath(rfc ? "rfc.yaml" : "raw.yaml");
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(
            QStringLiteral(
                "connection: &l\n  accepter: %1tcp,127.0.0.1,%2\n  connector: serialdev,%3,9600n81,local\n")
                .arg(rfc ? "telnet(rfc2217)," : "")
                .arg(port)
                .arg(link)
                .toUtf8());
        f.close();
        QProcess ser2net;
        if (!vm::test::StartServer(ser2net, "ser2net", {"-n", "-u", "-c", config}, port, kServerWaitMs)) {
            std::printf("ser2net did not start\n");
            continue;
        }
        const std::string url = (rfc ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port);
        const double tps = Monitor(rfc ? "rfc2217" : "tcp", url);
        std::printf("         -> %.2f of the local pty's throughput\n", local > 0 ? tps / local : 0.0);
        ser2net.terminate();
        ser2net.waitForFinished(10000);
    }
    line.Stop();

    constexpr int kPublishStations = 32, kPublishTicks = 200;
    std::printf("publishing %d stations, every value changing at every %d ms tick, %d ticks:\n",
                kPublishStations, kTickMs, kPublishTicks);
    const Cost base = Publish(nullptr, kPublishStations, kPublishTicks);
    PrintCost("messages to a null sink", base, base);
    const int port = vm::test::FreeLoopbackPort();
    const QString conf = line.FilePath("mosquitto.conf");
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                .arg(port)
                .toUtf8());
    f.close();
    QProcess broker;
    if (!vm::test::StartServer(broker, "mosquitto", {"-c", conf}, port, kServerWaitMs)) {
        std::printf("mosquitto did not start\n");
        return 1;
    }
    vm::MqttOptions options = vm::ParseMqttUrl("mqtt://127.0.0.1:" + std::to_string(port)).Value();
    options.line = "bench";
    {
        vm::MqttPublisher publisher;
        if (const vm::Result<void> started = publisher.Start(options); !started)
            std::printf("publisher: %s\n", started.Text().c_str());
        for (int i = 0; i < 400 && !publisher.Stats().connected; ++i)
            QThread::msleep(5);
        PrintCost("broker up", Publish(&publisher, kPublishStations, kPublishTicks), base);
        publisher.Stop();
    }
    broker.terminate();
    broker.waitForFinished(10000);
    {
        vm::MqttPublisher publisher;
        if (const vm::Result<void> started = publisher.Start(options); !started)
            std::printf("publisher: %s\n", started.Text().c_str());
        PrintCost("broker down", Publish(&publisher, kPublishStations, kPublishTicks), base);
        publisher.Stop();
    }
    return 0;
}
