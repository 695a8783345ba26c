// The main window monitoring 32 simulated stations over a pseudo-terminal, half of them running.
// Prints the share of one CPU the UI thread used and how many list cells were rewritten (and how
// often the list repainted) per second.
#include "monitor/MainFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int kStations = 32;
constexpr int kMeasureMs = 10000;

double ThreadCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_THREAD, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));

    const QString link = dir.filePath("line");
    QStringList args{"--link", link, "--protocol", "kx485", "--seed", "1"};
    const char* models[] = {"QM-A20", "QM-E20", "QM-F20X", "QM-B20X"};
    for (int id = 1; id <= kStations; ++id)
        args << "--station" << QStringLiteral("%1:%2").arg(id).arg(models[id % 4]);
    QProcess sim;
    sim.start(QStringLiteral(VARIMON_SIM_PROGRAM), args);
    QByteArray out;
    while (!out.contains("ready ") && sim.waitForReadyRead(20000))
        out += sim.readAllStandardOutput();
    if (!out.contains("ready ")) {
        std::fprintf(stderr, "varimon-sim did not start\n");
        return 1;
    }

    const vm::ProgramFolders folders = vm::ResolveProgramFolders(
        dir.filePath("program"), dir.filePath("user"), {QStringLiteral(VARIMON_DATA_DIR)});
    std::vector<int> ids;
    for (int id = 1; id <= kStations; ++id)
        ids.push_back(id);
    vm::CMainFrame frame(folders, vm::StartOptions{link, ids});
    frame.resize(1000, 900);
    frame.show();
    frame.Startup();
    if (!QTest::qWaitFor(
            [&] { return frame.Network().ConnectedCount() == kStations && !frame.Network().Scanning(); },
            60000)) {
        std::fprintf(stderr, "only %d stations connected\n", frame.Network().ConnectedCount());
        return 1;
    }
    for (int id = 1; id <= kStations; id += 2)
        frame.Manager().QueueWrite(id, 6, 2);  // run forward: values keep changing
    QTest::qWait(2000);

    PaintCounter counter;
    frame.InvList().viewport()->installEventFilter(&counter);
    const uint64_t writes0 = frame.InvList().Model().CellWrites();
    const int lamp0 = frame.LampRedraws();
    const double cpu0 = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(kMeasureMs);
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = ThreadCpuSeconds() - cpu0;
    const double cellsPerSecond = (frame.InvList().Model().CellWrites() - writes0) / seconds;

    std::printf("stations monitored:        %d (KX485, 9600 baud, 30 ms tick)\n", kStations);
    std::printf("measured:                  %.1f s\n", seconds);
    std::printf("UI thread CPU share:       %.2f %% of one core\n", 100.0 * cpu / seconds);
    std::printf("list cells rewritten:      %.1f /s (%.2f per station and second)\n", cellsPerSecond,
                cellsPerSecond / kStations);
    std::printf("list repaints:             %.1f /s\n", counter.paints / seconds);
    std::printf("RX/TX lamp redraws:        %.1f /s (only when a lamp changes)\n",
                (frame.LampRedraws() - lamp0) / seconds);

    sim.write("quit\n");
    sim.closeWriteChannel();
    if (!sim.waitForFinished(5000))
        sim.kill();
    return 0;
}
