// "All IDs" (1-31) on a line of five simulated drives over a pseudo-terminal, with the default
// time-out and repetitions: a normal scan against a quick one, as the operator waits for them.

#include "BenchSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

namespace {

struct ScanRun {
    double seconds = 0;
    QByteArray out;
    int exitCode = -1;
};

ScanRun Scan(const QString& link, const QStringList& extra)
{
    QProcess ctl;
    QElapsedTimer clock;
    clock.start();
    ctl.start(VARIMON_BINARY_DIR "/tools/ctl/varimonctl", QStringList{"--port", link, "scan", "all"} + extra);
    ctl.waitForFinished(10 * 60 * 1000);
    return {static_cast<double>(clock.elapsed()) / 1000.0, ctl.readAllStandardOutput(), ctl.exitCode()};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::SimulatedLine line;
    if (!line.Start({"1:QM-A20", "4:QM-B20X", "9:QM-E20", "17:QM-C20", "30:QM-A20"}))
        return 1;
    std::printf("scan 1-31, five stations, time-out 1000 ms, 3 repetitions, 9600 baud\n");
    const ScanRun quick = Scan(line.Link(), {"--quick"});
    const ScanRun normal = Scan(line.Link(), {});
    const int quickFound = static_cast<int>(quick.out.count('\n'));
    const int normalFound = static_cast<int>(normal.out.count('\n'));
    std::printf("  normal: %6.2f s, %d stations found (exit %d)\n", normal.seconds, normalFound,
                normal.exitCode);
    std::printf("  quick:  %6.2f s, %d stations found (exit %d)\n", quick.seconds, quickFound,
                quick.exitCode);
    std::printf("  quick / normal = %.3f (%.1f times faster), same stations: %s\n",
                quick.seconds / normal.seconds, normal.seconds / quick.seconds,
                quick.out == normal.out ? "yes" : "NO");
    line.Stop();
    return quick.out == normal.out && quickFound == 5 ? 0 : 1;
}
