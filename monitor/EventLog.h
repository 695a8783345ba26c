#pragma once
// The event log: time-stamped lines about connections, faults and running-state changes, kept as
// the latest lines for the pane and, while logging is on, appended to the event log file.

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace vm {

class EventLog {
public:
    enum ErrorCode { kNoError = 0, kOpenFailed = 1, kWriteFailed = 2, kPathChangeFailed = 3 };

    static constexpr int kMaxListLines = 200;

    // Opens the file for a fresh log; tests put a failing device here.
    using DeviceFactory = std::function<std::unique_ptr<QIODevice>(const QString& path)>;
    using Clock = std::function<QDateTime()>;
    // Receives the file layer's own message (path and system error) once the failure is handled.
    using FileErrorReporter = std::function<void(const QString& message)>;
    // Told of each line kept for the pane, as it appears there.
    using LineHandler = std::function<void(const QString& line)>;
    // Told when a write failure has switched logging off.
    using StopHandler = std::function<void()>;

    EventLog();
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Starts a new file at path with its header. A file already there is kept as the one backup
    // BackupPath(path) rather than deleted. Does nothing while a file is open.
    bool Open(const QString& path);
    void Close();
    // Close, then Open at the new path; a failure sets kPathChangeFailed.
    bool ChangePath(const QString& path);

    // "Start Event Log": opens the file unless already open, then switches logging on.
    bool Start(const QString& path);
    // "Stop Event Log": logging off; the file stays open and a later Start appends to it.
    void Stop() { logging_ = false; }
    bool Logging() const { return logging_; }
    bool IsOpen() const { return device_ != nullptr; }
    const QString& Path() const { return path_; }

    // Writes one event line (to the file only while logging is on) and keeps it for the pane.
    // A file error closes the file and switches logging off, and only then is reported; the
    // line is still kept for the pane and the result is false.
    bool Write(const QString& message);

    // The latest lines, oldest first, at most kMaxListLines.
    const QStringList& Lines() const { return lines_; }

    int ErrorCode() const { return error_; }
    QString ErrorText() const { return ErrorText(error_); }
    // ErrorText with the path and system text of the file error behind it, if any: one message.
    QString FailureText() const;
    static QString ErrorText(int code);

    static QString BackupPath(const QString& path) { return path + QStringLiteral(".bak"); }
    static QString TimeStamp(const QDateTime& when);
    // "<time stamp> >> <message>", without the line end.
    static QString FormatLine(const QDateTime& when, const QString& message);
    // The message of a station event: "%d:%s(%s) %s", or "%d:%s %s" without a device name.
    static QString StationMessage(int station, const QString& modelName, const QString& deviceName,
                                  const QString& text);

    void SetDeviceFactory(DeviceFactory factory) { factory_ = std::move(factory); }
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    void SetFileErrorReporter(FileErrorReporter reporter) { reporter_ = std::move(reporter); }
    void SetLineHandler(LineHandler handler) { lineHandler_ = std::move(handler); }
    void SetStopHandler(StopHandler handler) { stopHandler_ = std::move(handler); }

private:
    bool WriteToFile(const QString& text);
    void ReportFileError();

    std::unique_ptr<QIODevice> device_;
    QString path_;
    QString fileError_;  // path and system text of the last file error
    QStringList lines_;
    int error_ = kNoError;
    bool logging_ = false;
    DeviceFactory factory_;
    Clock clock_;
    FileErrorReporter reporter_;
    LineHandler lineHandler_;
    StopHandler stopHandler_;
};

}  // namespace vm
