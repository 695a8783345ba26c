#pragma once
// Starting varimon-sim for a benchmark: the program of this build, waited for until it is ready,
// on its own or as the line of a benchmark.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

namespace bench {

// Starts varimon-sim with the arguments; false, with what it said, when it did not get ready.
inline bool StartSimulator(QProcess& sim, const QStringList& args)
{
    sim.start(VARIMON_BINARY_DIR "/tools/sim/varimon-sim", args);
    QDeadlineTimer deadline(30000);
    while (!sim.canReadLine() && sim.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    if (sim.readLine().startsWith("ready"))
        return true;
    std::printf("varimon-sim did not start: %s\n", sim.readAllStandardError().constData());
    return false;
}

// varimon-sim on a pty linked in a folder of its own, for the line a benchmark measures.
class SimulatedLine {
public:
    ~SimulatedLine() { Stop(); }
    // Starts with these "ID:MODEL" stations.
    bool Start(const QStringList& stations)
    {
        QStringList args = {"--link", Link()};
        for (const QString& s : stations)
            args << "--station" << s;
        return StartSimulator(process, args);
    }
    void Stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        process.waitForFinished(30000);
    }
    QString Link() const { return dir_.filePath("line"); }
    // A file beside the link, for what else the benchmark writes.
    QString FilePath(const QString& name) const { return dir_.filePath(name); }

    QProcess process;

private:
    QTemporaryDir dir_;
};

}  // namespace bench
