#pragma once
// Child processes of the end-to-end tests: the simulator on a pty and the command-line tool.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

namespace vm::e2e {

// Generous: the machine may be busy building and running other suites under the sanitizers.
inline constexpr int kDeadlineMs = 30000;

QString SimProgram();
QString CtlProgram();

// varimon-sim on a pseudo-terminal linked in a temporary folder; stopped when destroyed.
class SimProcess {
public:
    SimProcess();
    ~SimProcess();

    // Starts with the given options and waits for "ready"; false (with the output) otherwise.
    bool Start(const QStringList& options);
    // Sends a console command and waits for its answer line.
    QString Command(const QString& line);
    // SIGTERM and wait for the exit.
    bool Terminate();
    QString Link() const { return link_; }
    QString Output() const { return output_; }
    QProcess& Process() { return process_; }

private:
    QString ReadLine();

    QTemporaryDir dir_;
    QString link_;
    QProcess process_;
    QString output_;
};

struct CtlResult {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList Lines() const;
};

// The exit code and both outputs, for a failed assertion's message.
inline std::string Show(const CtlResult& r)
{
    return ("exit " + QString::number(r.exitCode) + "\nout: " + r.out + "\nerr: " + r.err).toStdString();
}

// varimonctl's options for the KX485 protocol and the compiled Data folder, then args.
inline QStringList Kx485Args(const QStringList& args)
{
    return QStringList{"--protocol", "kx485", "--data", VARIMON_TEST_DATA_DIR} + args;
}

// Runs varimonctl on the simulator's line to its end.
CtlResult RunCtl(const SimProcess& sim, const QStringList& args);
// The same on any port (a network port among them).
CtlResult RunCtlOn(const QString& port, const QStringList& args);

// varimonctl in the background, its output read as it comes.
class CtlProcess {
public:
    // reopenMs > 0 shortens the lost port's reopen interval.
    void Start(int reopenMs, const QStringList& args);
    // Waits until done() holds, reading output meanwhile; false at the deadline or the exit.
    bool WaitUntil(const std::function<bool()>& done, int ms = kDeadlineMs);
    QStringList Lines() const { return out.split('\n', Qt::SkipEmptyParts); }
    // CPU seconds the process has used so far, from /proc.
    double CpuSeconds() const;
    std::string Show() const { return ("out: " + out + "\nerr: " + err).toStdString(); }

    QProcess process;
    QString out;
    QString err;

private:
    void Read();
};

// True when the path is a symlink (dangling or not).
bool IsSymlink(const QString& path);

}  // namespace vm::e2e
