// Graph monitor figures: ms per frame painting 4 x 36,000 points at 1200 x 600, UI-thread CPU
// while monitoring four channels at the 0.1 s scan, also recording a line per sample, fresh
// values per second per channel on the simulated line against the one-transaction-per-tick
// bound in both protocols, memory per hour of points, and saving and loading a full-size scope
// file.

#include "../tests/support/FakeToolHost.h"
#include "../tests/support/LineHarness.h"
#include "catalogue/Registers.h"
#include "scope/SampleStore.h"
#include "scope/ScopeFile.h"
#include "scope/ScopeView.h"
#include "scope/StripChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>

using namespace vm;
using namespace vm::scope;

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr int kHourPoints = 36000;

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

void FillHour(SampleStore& store)
{
    for (int i = 0; i < kHourPoints; ++i) {
        std::array<SampleStore::Sample, 4> s;
        for (int c = 0; c < 4; ++c)
            s[static_cast<size_t>(c)] = {50 + 40 * std::sin(i * 0.001 * (c + 1)) + (i * 7919 % 13) * 0.3,
                                         i % 3 ? SampleMark::Repeated : SampleMark::Fresh};
        store.Append(46000.0 + i * 0.1 * kSecond, s);
    }
}

void Paint()
{
    SampleStore store;
    StripChart chart;
    chart.SetStore(&store);
    chart.SetSpan(3600 * kSecond);
    FillHour(store);
    QImage image(1200, 600, QImage::Format_RGB32);
    for (bool autoScale : {false, true}) {
        chart.SetAutoScale(autoScale);
        chart.SetYRange(0, 100);
        QElapsedTimer t;
        t.start();
        const int frames = 50;
        for (int f = 0; f < frames; ++f) {
            QPainter p(&image);
            chart.Render(p, image.rect());
        }
        std::printf("paint 4 x %d points at 1200 x 600 (%s): %.2f ms per frame\n", kHourPoints,
                    autoScale ? "auto scale" : "fixed Y", t.nsecsElapsed() / 1e6 / frames);
    }
}

void Memory()
{
    const long before = RssKb();
    auto* store = new SampleStore;
    FillHour(*store);
    const long after = RssKb();
    const int bytes = 8 + 4 * 8 + 1;  // the time stamp, four values, four two-bit marks
    std::printf(
        "memory per hour at 0.1 s: %.2f MB measured RSS growth, %.2f MB of sample data "
        "(%d bytes a sample); limit %d samples = %.1f hours at 0.1 s, %.1f MB\n",
        (after - before) / 1024.0, kHourPoints * bytes / 1e6, bytes, SampleStore::kMaxPoints,
        SampleStore::kMaxPoints / static_cast<double>(kHourPoints), SampleStore::kMaxPoints * bytes / 1e6);
    delete store;
}

void FileIo()
{
    ScopePicture p;
    p.channels[0].on = 1;
    p.channels[0].model = 4;
    for (int i = 0; i < kHourPoints; ++i) {
        p.x.push_back(46000.0 + i * 0.1 * kSecond);
        for (auto& ys : p.y)
            ys.push_back(i * 0.01);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("hour.sco");
    QElapsedTimer t;
    const int rounds = 20;
    t.start();
    for (int r = 0; r < rounds; ++r)
        if (const vm::Result<void> saved = SaveScopeFile(path, p); !saved) {
            std::printf("save failed: %s\n", saved.Text().c_str());
            return;
        }
    const double save = t.nsecsElapsed() / 1e6 / rounds;
    t.restart();
    size_t n = 0;
    for (int r = 0; r < rounds; ++r)
        if (const vm::Result<ScopePicture> r = LoadScopeFile(path))
            n += r.Value().x.size();
    const double load = t.nsecsElapsed() / 1e6 / rounds;
    std::printf(".sco of %d points (%lld bytes): save %.2f ms, load and check %.2f ms (%zu points read)\n",
                kHourPoints, static_cast<long long>(QFileInfo(path).size()), save, load, n / rounds);
}

// Counts the monitor results that carry each watched address.
class FreshCounter : public CommClient {
public:
    void OnCommMonitor(int, const CommReply& reply) override
    {
        ++transactions;
        if (reply.error != kNoError)
            return;
        for (int i = 0; i < reply.count; ++i)
            for (size_t c = 0; c < addresses.size(); ++c)
                if (reply.addresses[static_cast<size_t>(i)] == addresses[c])
                    ++fresh[c];
    }
    std::array<uint16_t, 4> addresses{reg::kFreqCommand, reg::kCurrent, reg::kSpeed, reg::kFault};
    std::array<long, 4> fresh{};
    long transactions = 0;
};

void FreshValues(sim::Protocol protocol, const char* name)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    test::LineHarness line(protocol);
    line.AddStations({"3:QM-A20"});
    test::FakeToolHost host(&line.manager);
    host.folders.temp = dir.path();
    StationRecord& r = host.Record(3);
    r.present = r.connected = 1;
    r.model = line.line.Station(3)->Identity().model;
    r.version = line.line.Station(3)->Identity().version;
    line.manager.SetPollRange(3, 3);
    CScopeView view(host);
    view.InitialUpdate();
    FreshCounter counter;
    const auto items = BuildItemSet(r.model, r.version, kSetGraph);
    for (int c = 0; c < 4; ++c) {
        view.SetChannelOn(c, true);
        view.ChooseStation(c, 3);
        for (size_t k = 0; k < items.size(); ++k)
            if (items[k].address == counter.addresses[static_cast<size_t>(c)])
                view.ChooseAddress(c, static_cast<int>(k));
    }
    view.StartMonitor();
    line.manager.AddListener(3, &counter);
    const int seconds = 60;
    const int ticks = seconds * 1000 / test::LineHarness::kTickMs;
    for (int i = 0; i < ticks; ++i)
        line.Step();
    const double bound = 1000.0 / test::LineHarness::kTickMs;
    std::printf("%s: %.1f monitor transactions/s on the line; fresh values per channel per s:", name,
                counter.transactions / static_cast<double>(seconds));
    for (long f : counter.fresh)
        std::printf(" %.1f", f / static_cast<double>(seconds));
    std::printf(" (tick bound %.1f transactions/s; the 0.1 s scan needs 10)\n", bound);
    line.manager.RemoveListener(3, &counter);
}

void UiCpu(bool record)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    test::FakeToolHost host;
    host.folders.temp = dir.path();
    for (int s = 1; s <= 4; ++s) {
        StationRecord& r = host.Record(s);
        r.present = r.connected = 1;
        r.model = kModelQmA20;
        r.version = 0x100;
    }
    CScopeView view(host);
    view.resize(1200, 800);
    view.show();
    view.InitialUpdate();
    const auto items = BuildItemSet(kModelQmA20, 0x100, kSetGraph);
    for (int c = 0; c < 4; ++c) {
        view.SetChannelOn(c, true);
        view.ChooseStation(c, c + 1);
        view.ChooseAddress(c, c);
    }
    view.ChooseScan(0);
    view.StartMonitor();
    if (record) {
        view.SetRecordTimeStamps(true);
        view.SetRecordPath(dir.filePath("bench.csv"));
        view.ChooseRecordPeriod(kRecordEachSample);
        view.StartRecord();
    }
    // The line's results at its 30 ms pace, one station after the other.
    int n = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const int s = n % 4 + 1;
        CommReply reply;
        reply.station = s;
        reply.count = 1;
        reply.addresses[0] = items[static_cast<size_t>(s - 1)].address;
        reply.values[0] = static_cast<uint32_t>(1000 + 500 * std::sin(n * 0.05));
        view.OnCommMonitor(s, reply);
        ++n;
    });
    feed.start(30);
    const int seconds = 20;
    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    qApp->exec();
    const double cpu = ThreadCpuSeconds() - cpu0;
    std::printf(
        "UI thread while monitoring 4 channels at the 0.1 s scan%s (chart shown, %d points after %d s): "
        "%.1f %% of one core\n",
        record ? ", recording each sample" : "", view.Chart().PointCount(), seconds,
        100.0 * cpu / (wall.nsecsElapsed() / 1e9));
    if (record)
        std::printf("  %d record lines written\n", view.RecordCounter());
    view.StopMonitor();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Paint();
    Memory();
    FileIo();
    FreshValues(sim::Protocol::Kx485, "KX485");
    FreshValues(sim::Protocol::Modbus, "MODBUS-RTU");
    UiCpu(false);
    UiCpu(true);
    return 0;
}
