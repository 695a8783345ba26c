#include "Processes.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <unistd.h>
#include <filesystem>

namespace vm::e2e {

QString SimProgram()
{
    return QStringLiteral(VARIMON_BINARY_DIR "/tools/sim/varimon-sim");
}

QString CtlProgram()
{
    return QStringLiteral(VARIMON_BINARY_DIR "/tools/ctl/varimonctl");
}

SimProcess::SimProcess() : link_(dir_.filePath("line"))
{
    process_.setProgram(SimProgram());
}

SimProcess::~SimProcess()
{
    if (process_.state() != QProcess::NotRunning && !Terminate()) {
        process_.kill();
        process_.waitForFinished(kDeadlineMs);
    }
}

bool SimProcess::Start(const QStringList& options)
{
    process_.setArguments(QStringList{"--link", link_} + options);
    process_.start();
    if (!process_.waitForStarted(kDeadlineMs))
        return false;
    const QString line = ReadLine();
    return line == "ready " + link_;
}

QString SimProcess::ReadLine()
{
    QDeadlineTimer deadline(kDeadlineMs);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            output_ += QString::fromUtf8(process_.readAllStandardError());
            return {};
        }
    }
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    output_ += line + "\n";
    return line;
}

QString SimProcess::Command(const QString& line)
{
    process_.write((line + "\n").toUtf8());
    process_.waitForBytesWritten(kDeadlineMs);
    return ReadLine();
}

bool SimProcess::Terminate()
{
    process_.terminate();
    return process_.waitForFinished(kDeadlineMs);
}

QStringList CtlResult::Lines() const
{
    return out.split('\n', Qt::SkipEmptyParts);
}

CtlResult RunCtl(const SimProcess& sim, const QStringList& args)
{
    return RunCtlOn(sim.Link(), args);
}

CtlResult RunCtlOn(const QString& port, const QStringList& args)
{
    QProcess ctl;
    ctl.start(CtlProgram(), QStringList{"--port", port} + args);
    CtlResult result;
    if (!ctl.waitForFinished(kDeadlineMs * 2)) {
        ctl.kill();
        ctl.waitForFinished(kDeadlineMs);
        result.err = "varimonctl did not finish";
        return result;
    }
    result.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    result.out = QString::fromUtf8(ctl.readAllStandardOutput());
    result.err = QString::fromUtf8(ctl.readAllStandardError());
    return result;
}

void CtlProcess::Start(int reopenMs, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (reopenMs > 0)
        env.insert("VARIMON_REOPEN_MS", QString::number(reopenMs));
    process.setProcessEnvironment(env);
    process.start(CtlProgram(), args);
}

bool CtlProcess::WaitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        Read();
        if (done())
            return true;
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(50, deadline.remainingTime())));
    }
}

double CtlProcess::CpuSeconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime: fields 14 and 15 of the line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void CtlProcess::Read()
{
    out += QString::fromUtf8(process.readAllStandardOutput());
    err += QString::fromUtf8(process.readAllStandardError());
}

bool IsSymlink(const QString& path)
{
    std::error_code ec;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path.toStdString(), ec));
}

}  // namespace vm::e2e
