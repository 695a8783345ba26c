#pragma once
// The record file: one line of the four channel values per record tick, "%.2f, %.2f, %.2f, %.2f"
// with a decimal point whatever the locale and CR LF endings; a missing value is an empty field.
// With time stamps a header names each channel with its station, every line starts with the
// time and the seconds since the record started, and ends with the channels whose value was
// repeated rather than refreshed. An existing file is never
// replaced: recording continues in a new numbered file beside it. Every line is flushed, so a
// crash loses at most the line being written.

#include "base/Result.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <array>
#include <memory>
#include <string>

namespace vm::scope {

// One record line: NaN for a missing value.
struct RecordRow {
    std::array<double, 4> values{};
    std::array<bool, 4> repeated{};
    QDateTime time;
    double elapsed = 0.0;  // seconds since the record started
};

class RecordFile {
public:
    struct Column {
        std::string name;  // "1:QM-A20 Output Freq."
        std::string unit;
    };

    // The path the next recording for `wanted` goes to: `wanted` itself when no such file
    // exists or it is empty, else "name-1.csv", "name-2.csv", ... the first that does not exist.
    static QString FreePath(const QString& wanted);

    // One line's text; with a time stamp it starts with the ISO-8601 time and elapsed seconds.
    static std::string FormatLine(const RecordRow& row);
    static std::string FormatStampedLine(const RecordRow& row);
    static std::string FormatHeader(const std::array<Column, 4>& columns);

    // Creates the file at FreePath(wanted). A failure's code is the file's error.
    Result<void> Open(const QString& wanted);
    bool IsOpen() const { return file_ != nullptr; }
    QString Path() const { return path_; }

    // Optional header with time stamps (off unless asked for).
    Result<void> WriteHeader(const std::array<Column, 4>& columns);
    Result<void> WriteLine(const RecordRow& row, bool stamped);
    void Close();

private:
    Result<void> Write(const std::string& text);

    std::unique_ptr<QFile> file_;
    QString path_;
};

}  // namespace vm::scope
