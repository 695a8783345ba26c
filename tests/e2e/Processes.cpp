#include "Processes.h"

#include <QDeadlineTimer>

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
    QProcess ctl;
    ctl.start(CtlProgram(), QStringList{"--port", sim.Link()} + args);
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

bool IsSymlink(const QString& path)
{
    std::error_code ec;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path.toStdString(), ec));
}

}  // namespace vm::e2e
