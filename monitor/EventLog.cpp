#include "monitor/EventLog.h"

#include <QFile>
#include <QFileInfo>

namespace vm {

namespace {

std::unique_ptr<QIODevice> OpenNewFile(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    // NewOnly: the old file has just been moved aside, so nobody else's file is truncated.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return nullptr;
    return file;
}

}  // namespace

EventLog::EventLog() : factory_(OpenNewFile), clock_([] { return QDateTime::currentDateTime(); })
{}

EventLog::~EventLog()
{
    Close();
}

QString EventLog::ErrorText(int code)
{
    switch (code) {
    case kNoError:
        return QStringLiteral("No Error");
    case kOpenFailed:
        return QStringLiteral("Fail to open log file");
    case kWriteFailed:
        return QStringLiteral("Fail to write data to log file");
    default:
        return QStringLiteral("Faild to change log file path");
    }
}

QString EventLog::TimeStamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
}

QString EventLog::FormatLine(const QDateTime& when, const QString& message)
{
    return TimeStamp(when) + QStringLiteral(" >> ") + message;
}

QString EventLog::StationMessage(int station, const QString& modelName, const QString& deviceName,
                                 const QString& text)
{
    if (deviceName.isEmpty())
        return QStringLiteral("%1:%2 %3").arg(station).arg(modelName, text);
    return QStringLiteral("%1:%2(%3) %4").arg(station).arg(modelName, deviceName, text);
}

bool EventLog::Open(const QString& path)
{
    if (device_)
        return true;
    path_ = path;
    if (QFileInfo::exists(path)) {
        const QString backup = BackupPath(path);
        QFile::remove(backup);
        // An old log we cannot move aside is not deleted either: refuse rather than lose it.
        if (!QFile::rename(path, backup)) {
            error_ = kOpenFailed;
            return false;
        }
    }
    device_ = factory_(path);
    if (!device_) {
        error_ = kOpenFailed;
        return false;
    }
    const QString header =
        QStringLiteral("[ Varimon Event Log File ]\r\nDate : %1\r\n\r\n").arg(TimeStamp(clock_()));
    if (!WriteToFile(header)) {
        Close();
        error_ = kWriteFailed;
        ReportFileError();
        return false;
    }
    error_ = kNoError;
    fileError_.clear();
    return true;
}

void EventLog::Close()
{
    if (!device_)
        return;
    if (auto* file = qobject_cast<QFile*>(device_.get()))
        file->flush();
    device_->close();
    device_.reset();
}

bool EventLog::ChangePath(const QString& path)
{
    Close();
    if (!Open(path)) {
        error_ = kPathChangeFailed;
        return false;
    }
    return true;
}

bool EventLog::Start(const QString& path)
{
    if (!device_ && !Open(path))
        return false;
    logging_ = true;
    return true;
}

bool EventLog::Write(const QString& message)
{
    const QString line = FormatLine(clock_(), message);
    bool written = true;
    if (logging_ && device_ && !WriteToFile(line + QStringLiteral("\r\n"))) {
        // Logging is off before anyone hears of the failure, so that events raised meanwhile
        // do not fail (and report) again.
        written = false;
        Close();
        error_ = kWriteFailed;
        logging_ = false;
        if (stopHandler_)
            stopHandler_();
        ReportFileError();
    }
    // The pane still shows what happened, whether or not the file took it.
    lines_.append(line);
    if (lines_.size() > kMaxListLines)
        lines_.removeFirst();
    if (lineHandler_)
        lineHandler_(line);
    return written;
}

// Each line is flushed at once: events are rare, and the last lines before a crash matter most.
bool EventLog::WriteToFile(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    bool ok = device_->write(bytes) == bytes.size();
    if (ok)
        if (auto* file = qobject_cast<QFile*>(device_.get()))
            ok = file->flush();
    if (!ok)
        fileError_ = QStringLiteral("%1: %2").arg(path_, device_->errorString());
    return ok;
}

void EventLog::ReportFileError()
{
    if (reporter_)
        reporter_(fileError_);
}

QString EventLog::FailureText() const
{
    return fileError_.isEmpty() ? ErrorText() : ErrorText() + QStringLiteral("\n") + fileError_;
}

}  // namespace vm
