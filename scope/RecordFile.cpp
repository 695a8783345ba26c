#include "scope/RecordFile.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>

namespace vm::scope {

namespace {

void AppendFixed2(std::string& out, double v)
{
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
    out.append(text, res.ec == std::errc() ? res.ptr : text);
}

void AppendValues(std::string& out, const std::array<double, 4>& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            out += ", ";
        if (std::isfinite(values[i]))
            AppendFixed2(out, values[i]);
    }
}

// The file's own error; a short write without one is a write error still.
Failure FileFailure(const QFile& file)
{
    const int code = file.error() != QFileDevice::NoError ? file.error() : QFileDevice::WriteError;
    return {code, file.errorString().toStdString()};
}

}  // namespace

QString RecordFile::FreePath(const QString& wanted)
{
    QFileInfo info(wanted);
    if (!info.exists())
        return wanted;
    const QString dir = info.path();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QStringLiteral(".") + info.suffix();
    for (int i = 1;; ++i) {
        const QString candidate = QStringLiteral("%1/%2-%3%4").arg(dir, base).arg(i).arg(suffix);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

std::string RecordFile::FormatLine(const RecordRow& row)
{
    std::string line;
    AppendValues(line, row.values);
    line += "\r\n";
    return line;
}

std::string RecordFile::FormatStampedLine(const RecordRow& row)
{
    std::string line = row.time.toString(Qt::ISODateWithMs).toStdString();
    line += ", ";
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text, row.elapsed, std::chars_format::fixed, 3);
    line.append(text, res.ec == std::errc() ? res.ptr : text);
    line += ", ";
    AppendValues(line, row.values);
    line += ",";
    for (size_t i = 0; i < row.repeated.size(); ++i)
        if (row.repeated[i])
            line += " CH" + std::to_string(i + 1);
    line += "\r\n";
    return line;
}

std::string RecordFile::FormatHeader(const std::array<Column, 4>& columns)
{
    std::string line = "time, elapsed [s]";
    for (size_t i = 0; i < columns.size(); ++i) {
        line += ", Ch" + std::to_string(i + 1);
        if (!columns[i].name.empty())
            line += " " + columns[i].name;
        if (!columns[i].unit.empty())
            line += " [" + columns[i].unit + "]";
    }
    line += ", repeated\r\n";
    return line;
}

Result<void> RecordFile::Open(const QString& wanted)
{
    if (file_)
        return {};
    const QString path = FreePath(wanted);
    auto file = std::make_unique<QFile>(path);
    // NewOnly: a file that appeared in between is never truncated.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return FileFailure(*file);
    file_ = std::move(file);
    path_ = path;
    return {};
}

Result<void> RecordFile::Write(const std::string& text)
{
    if (!file_)
        return Failure{QFileDevice::WriteError, "The record file is not open."};
    const qint64 n = file_->write(text.data(), static_cast<qint64>(text.size()));
    if (n != static_cast<qint64>(text.size()) || !file_->flush())
        return FileFailure(*file_);
    return {};
}

Result<void> RecordFile::WriteHeader(const std::array<Column, 4>& columns)
{
    return Write(FormatHeader(columns));
}

Result<void> RecordFile::WriteLine(const RecordRow& row, bool stamped)
{
    return Write(stamped ? FormatStampedLine(row) : FormatLine(row));
}

void RecordFile::Close()
{
    if (file_) {
        file_->flush();
        file_->close();
        file_.reset();
    }
}

}  // namespace vm::scope
