// A long day on the simulated line, compressed: the main window against the simulator program
// with dropped and damaged replies, trips (and resets) while series of reads run, starts, and one
// outage of the port. Every trip must be recorded, no drive lost for good, the outage shown as
// one. scripts/soak runs the same test for longer and with more drives, and reads its figures.
//
// VARIMON_SOAK_SECONDS (90), VARIMON_SOAK_STATIONS (8), VARIMON_SOAK_TRIP_EVERY (10 s) and
// VARIMON_SOAK_CSV (a file for the samples; a temporary one otherwise) set it up.
#include "catalogue/Registers.h"
#include "monitor/MainFrame.h"
#include "tests/monitor/MainWindowHome.h"
#include "tests/monitor/ReadSeries.h"
#include "tests/platform/QStringPrinter.h"
#include "tests/support/CpuTime.h"
#include "tests/support/SimulatorProcess.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace vm;

namespace {

constexpr int kWaitMs = 60000;
constexpr int kSampleMs = 100;
constexpr int kResetAfterMs = 5000;

int EnvNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// kB of a line of /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<int>(qstrlen(key)) + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

QString Status(CInvListModel& model, int station)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.CellText(row, kColId) == QString::number(station))
            return model.CellText(row, kColStatus);
    return {};
}

QStringList StationSpecs(int count)
{
    static const char* const kModels[] = {"QM-A20", "QM-E20", "QM-B20X:0015", "QM-C20", "QM-F20X"};
    QStringList specs;
    for (int id = 1; id <= count; ++id)
        specs << QStringLiteral("%1:%2").arg(id).arg(QString::fromLatin1(kModels[(id - 1) % 5]));
    return specs;
}

// The longest a connected station went without a good monitor reply: what decides whether a
// short trip is seen. Stations dropped and found again start afresh.
class PollWatch : public CommClient {
public:
    PollWatch(CommManager& manager, int stations, const QElapsedTimer& clock)
        : manager_(manager), last_(static_cast<size_t>(stations) + 1, -1), clock_(clock)
    {}
    ~PollWatch() override
    {
        for (size_t id = 1; id < last_.size(); ++id)
            manager_.RemoveListener(static_cast<int>(id), this);
    }
    void Keep()
    {
        for (size_t id = 1; id < last_.size(); ++id)
            if (!manager_.IsListener(static_cast<int>(id), this)) {
                manager_.AddListener(static_cast<int>(id), this);
                last_[id] = -1;
            }
    }
    void Forget() { std::fill(last_.begin(), last_.end(), -1); }
    void OnCommMonitor(int station, const CommReply& reply) override
    {
        if (reply.error != kNoError || station <= 0 || static_cast<size_t>(station) >= last_.size())
            return;
        const qint64 now = clock_.elapsed();
        if (last_[static_cast<size_t>(station)] >= 0)
            longest = std::max(longest, now - last_[static_cast<size_t>(station)]);
        last_[static_cast<size_t>(station)] = now;
    }

    qint64 longest = 0;

private:
    CommManager& manager_;
    std::vector<qint64> last_;
    const QElapsedTimer& clock_;
};

}  // namespace

TEST(SoakTest, longDayOnTheSimulatedLineRecordsEveryTripAndLosesNoDriveForGood)
{
#ifndef VARIMON_SIM_PROGRAM
    GTEST_SKIP() << "varimon-sim is not part of this build";
#endif
    const int seconds = EnvNumber("VARIMON_SOAK_SECONDS", 90);
    const int stations = std::min(EnvNumber("VARIMON_SOAK_STATIONS", 8), 32);
    const int tripEveryMs = EnvNumber("VARIMON_SOAK_TRIP_EVERY", 10) * 1000;

    test::MainWindowHome home;
    const QString link = home.Link();
    const QStringList specs = StationSpecs(stations);
    const QStringList faults{"--drop-rate", "0.03", "--corrupt-rate", "0.02"};
    auto sim = std::make_unique<test::SimulatorProcess>();
    sim->extraArgs = faults;
    ASSERT_TRUE(sim->Start(link, specs)) << sim->output.toStdString();

    std::vector<int> ids;
    for (int id = 1; id <= stations; ++id)
        ids.push_back(id);
    CMainFrame frame(home.Folders(), StartOptions{link, ids});
    MessageLog messages;
    frame.SetMessageSink(&messages);
    frame.Driver().SetReopenInterval(500);
    frame.Startup();
    CInvListModel& list = frame.InvList().Model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.Network().Scanning(); }, kWaitMs * 2));
    ASSERT_EQ(frame.Network().ConnectedCount(), stations) << frame.windowTitle().toStdString();

    // Samples of what the main window holds, as a recording at 0.1 s would take them.
    const QString csvPath = qEnvironmentVariableIsSet("VARIMON_SOAK_CSV")
                                ? qEnvironmentVariable("VARIMON_SOAK_CSV")
                                : home.dir.filePath("soak.csv");
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text));
    QTextStream out(&csv);
    QElapsedTimer wall;
    wall.start();
    qint64 lastSample = -1;
    int csvRows = 0, csvGaps = 0, staleWhileLost = 0;
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 now = wall.elapsed();
        if (lastSample >= 0 && now - lastSample > 2 * kSampleMs)
            ++csvGaps;
        lastSample = now;
        out << now;
        for (int id = 1; id <= stations; ++id) {
            const StationRecord& r = frame.Network().Record(id);
            const bool live = r.present && r.connected;
            if (!live)
                out << ",";
            else
                out << "," << r.speed;
            if (live && frame.Driver().IsPortLost())
                ++staleWhileLost;
        }
        out << "\n";
        ++csvRows;
    });
    sampler.start(kSampleMs);

    const long rssStartKb = StatusKb("VmRSS:");
    const double cpuStart = test::ProcessCpuSeconds();
    const qint64 endMs = static_cast<qint64>(seconds) * 1000;
    const qint64 outageAt = endMs / 2;
    constexpr qint64 kOutageMs = 4000;
    bool outageDone = false;
    int outageUnmarked = 0;
    int tripsSent = 0, starts = 0, readSeries = 0;
    std::vector<std::unique_ptr<test::ReadSeries>> editors;
    struct PendingReset {
        qint64 at;
        int station;
    };
    std::vector<PendingReset> resets;
    qint64 nextTrip = 2000;
    int turn = 0;

    PollWatch polls(frame.Manager(), stations, wall);
    while (wall.elapsed() < endMs) {
        QTest::qWait(20);
        polls.Keep();
        const qint64 now = wall.elapsed();
        for (auto it = resets.begin(); it != resets.end();) {
            if (now >= it->at) {
                sim->Command(QByteArray("reset ") + QByteArray::number(it->station));
                it = resets.erase(it);
            } else {
                ++it;
            }
        }
        const bool nearOutage = now > outageAt - kResetAfterMs - 3000 && now < outageAt + kOutageMs + 15000;
        if (now >= nextTrip && !nearOutage && frame.Network().ConnectedCount() == stations) {
            nextTrip = now + tripEveryMs;
            const int tripped = 1 + turn % stations;
            const int read = 1 + (turn + 1) % stations;
            const int started = 1 + (turn + 2) % stations;
            ++turn;
            // The editor's "read all" of 217 parameters, and the trip while it runs.
            editors.push_back(std::make_unique<test::ReadSeries>(frame.Manager(), read, 217, 0, 4));
            editors.back()->Start();
            ++readSeries;
            QTest::qWait(300);
            sim->Command(QByteArray("trip ") + QByteArray::number(tripped) + (turn % 2 ? " 0" : " 3"));
            ++tripsSent;
            resets.push_back({wall.elapsed() + kResetAfterMs, tripped});
            frame.Manager().QueueWrite(started, reg::kRunCommand, reg::kRunForward);
            ++starts;
        }
        if (!outageDone && now >= outageAt && resets.empty()) {
            outageDone = true;
            ASSERT_TRUE(sim->Quit());
            sim.reset();
            ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Driver().IsPortLost(); }, kWaitMs));
            polls.Forget();
            for (int id = 1; id <= stations; ++id)
                if (Status(list, id) != "No Connection")
                    ++outageUnmarked;
            QTest::qWait(static_cast<int>(kOutageMs));
            sim = std::make_unique<test::SimulatorProcess>();
            sim->extraArgs = faults;
            ASSERT_TRUE(sim->Start(link, specs)) << sim->output.toStdString();
            polls.Forget();
        }
    }
    // The last trips are reset in their own time, as the ones before.
    for (const PendingReset& r : resets) {
        if (const qint64 wait = r.at - wall.elapsed(); wait > 0)
            QTest::qWait(static_cast<int>(wait));
        sim->Command(QByteArray("reset ") + QByteArray::number(r.station));
    }
    // Time for the last resets to be seen and for drives still being found back.
    (void)QTest::qWaitFor([&] { return frame.Network().ConnectedCount() == stations; }, kWaitMs);
    QTest::qWait(3000);
    sampler.stop();
    out.flush();

    const double cpu = test::ProcessCpuSeconds() - cpuStart;
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const long rssEndKb = StatusKb("VmRSS:");
    // The whole event log file: the pane keeps only the newest lines.
    QStringList events;
    {
        QFile log(frame.Settings().logFilePath);
        if (log.open(QIODevice::ReadOnly | QIODevice::Text))
            events = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    const int connected = frame.Network().ConnectedCount();
    const int recorded = frame.History().Count();
    const int unread = static_cast<int>(events.filter("Trip (fault word not read)").size());
    const int dropped = static_cast<int>(events.filter(" Disconnected").size());
    const StationHealth* worst = nullptr;
    uint64_t giveUps = 0, timeouts = 0, checksum = 0;
    for (int id = 1; id <= stations; ++id) {
        const StationHealth& h = frame.Manager().Health(id);
        giveUps += h.giveUps;
        timeouts += h.timeouts;
        checksum += h.checksumErrors;
        if (!worst || h.giveUps > worst->giveUps)
            worst = &h;
    }
    const QString figures = QString::asprintf(
        "soak: %d s, %d drives, %d series of 217 reads, %d starts\n"
        "soak: memory %ld kB -> %ld kB (%+ld kB), peak %ld kB\n"
        "soak: CPU %.1f s in %.1f s (%.1f %% of a core)\n"
        "soak: drives lost for good %d; disconnections %d (%d of them at the port outage)\n"
        "soak: trips sent %d, recorded %d (%d without their fault word)\n"
        "soak: longest a connected drive went without a monitor reply: %lld ms\n"
        "soak: CSV rows %d, gaps %d, live values shown while the port was lost %d\n"
        "soak: outage rows not marked %d; line: %llu time-outs, %llu checksum errors, %llu give-ups\n",
        seconds, stations, readSeries, starts, rssStartKb, rssEndKb, rssEndKb - rssStartKb,
        StatusKb("VmHWM:"), cpu, wallSeconds, 100.0 * cpu / wallSeconds, stations - connected, dropped,
        outageDone ? stations : 0, tripsSent, recorded, unread, static_cast<long long>(polls.longest),
        csvRows, csvGaps, staleWhileLost, outageUnmarked, static_cast<unsigned long long>(timeouts),
        static_cast<unsigned long long>(checksum), static_cast<unsigned long long>(giveUps));
    std::fputs(figures.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    ::testing::Test::RecordProperty("figures", figures.toStdString());

    EXPECT_TRUE(outageDone);
    EXPECT_TRUE(events.join('\n').contains(" >> Port lost"));
    EXPECT_EQ(outageUnmarked, 0);
    EXPECT_EQ(staleWhileLost, 0);
    EXPECT_EQ(connected, stations) << frame.windowTitle().toStdString();
    EXPECT_GE(tripsSent, 2);
    EXPECT_EQ(recorded, tripsSent) << events.filter("fault occured").join('\n').toStdString();
    frame.close();
}
