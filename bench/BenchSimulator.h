#pragma once
// Starting varimon-sim for a benchmark: the program of this build, waited for until it is ready.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

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

// Starts varimon-sim on `link` with these "ID:MODEL" stations.
inline bool StartLine(QProcess& sim, const QString& link, const QStringList& stations)
{
    QStringList args = {"--link", link};
    for (const QString& s : stations)
        args << "--station" << s;
    return StartSimulator(sim, args);
}

}  // namespace bench
