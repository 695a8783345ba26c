#pragma once
// varimon-sim as a child process on a pseudo-terminal linked at a path, for tests that run the
// program's own windows against it. Needs VARIMON_SIM_PROGRAM; Start fails without it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vm::test {

class SimulatorProcess {
public:
    static constexpr int kWaitMs = 20000;

    // Starts with the stations ("ID:MODEL[...]") on a new pty linked at linkPath; false when it
    // did not report ready.
    bool Start(const QString& linkPath, const QStringList& stations)
    {
#ifdef VARIMON_SIM_PROGRAM
        QStringList args{"--link", linkPath, "--protocol", "auto", "--seed", "1"};
        for (const QString& s : stations)
            args << "--station" << s;
        args << extraArgs;
        process.start(QStringLiteral(VARIMON_SIM_PROGRAM), args);
        if (!process.waitForStarted(kWaitMs))
            return false;
        while (!output.contains("ready ")) {
            if (!process.waitForReadyRead(kWaitMs))
                return false;
            output += process.readAllStandardOutput();
        }
        return true;
#else
        (void)linkPath;
        (void)stations;
        return false;
#endif
    }
    void Command(const QByteArray& line)
    {
        process.write(line + "\n");
    }
    // Quits and waits for the exit, which removes the link and hangs up the pty.
    bool Quit()
    {
        Command("quit");
        process.closeWriteChannel();
        return process.waitForFinished(kWaitMs);
    }
    ~SimulatorProcess()
    {
        if (process.state() != QProcess::NotRunning && !Quit()) {
            process.kill();
            process.waitForFinished(kWaitMs);
        }
    }

    QProcess process;
    QByteArray output;
    QStringList extraArgs;  // further options, e.g. fault injection
};

}  // namespace vm::test
