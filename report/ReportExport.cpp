#include "report/ReportExport.h"

#include "base/Result.h"
#include "report/ReportHtml.h"
#include "report/ReportPrinter.h"
#include "report/ReportSheet.h"
#include "report/XlsWriter.h"
#include "report/XlsxWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace vm {

namespace {

Failure SystemFailure(int err)
{
    return {err, std::strerror(err)};
}

Failure Failed(const QString& path, const Failure& why)
{
    return {why.code, QStringLiteral("Cannot export the report to %1:\n%2")
                          .arg(QDir::toNativeSeparators(path), QString::fromStdString(why.text))
                          .toStdString()};
}

// Writes into a file descriptor opened on `temp`.
using Filler = std::function<Result<>(int fd, const QString& temp)>;

// A link is written through to the file it names, so the link stays a link.
QByteArray ResolvedTarget(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.constData(), nullptr)) {
            QByteArray resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

// The file is written beside its target under a fresh name and renamed over it only when
// complete, so a full disk or a failed format leaves the old file as it was.
Result<> WriteReplacing(const QString& path, const Filler& fill)
{
    const QByteArray target = ResolvedTarget(QFile::encodeName(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return Failed(path, SystemFailure(EISDIR));
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    QByteArray temp = folder + '.' + target.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Failed(path, SystemFailure(errno));
    // mkstemp makes owner-only files: a replaced file keeps its mode, a new one gets the umask's.
    mode_t mode = old.st_mode & 07777;
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    Result<> done;
    if (::fchmod(fd, mode) != 0)
        done = SystemFailure(errno);
    if (done)
        done = fill(fd, QFile::decodeName(temp));
    if (done && ::fsync(fd) != 0)
        done = SystemFailure(errno);
    if (::close(fd) != 0 && done)
        done = SystemFailure(errno);
    if (done && ::rename(temp.constData(), target.constData()) != 0)
        done = SystemFailure(errno);
    if (!done) {
        ::unlink(temp.constData());
        return Failed(path, done.Why());
    }
    return {};
}

Result<> WriteBytes(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return SystemFailure(errno);
        }
        data += n;
        left -= n;
    }
    return {};
}

Result<> WritePdf(const ReportSheet& sheet, int fd)
{
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return Failure{file.error(), file.errorString().toStdString()};
    Result<> painted;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Parameter Report"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        ReportPrinter::SetMargins(writer);
        painted = ReportPrinter(sheet).Print(writer);
    }
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return Failure{file.error(), file.errorString().toStdString()};
    return painted;
}

}  // namespace

QString ReportExport::Filters()
{
    return FilterName(1) + QStringLiteral(";;") + FilterName(2) + QStringLiteral(";;") + FilterName(3);
}

QString ReportExport::FilterName(int index)
{
    switch (ValidFilterIndex(index)) {
    case 2:
        return QStringLiteral("HTML File (*.htm)");
    case 3:
        return QStringLiteral("Excel Workbook (*.xlsx)");
    default:
        return QStringLiteral("Excel File (*.xls)");
    }
}

int ReportExport::ValidFilterIndex(int stored)
{
    return (stored == 2 || stored == 3) ? stored : 1;
}

ReportExportTarget ReportExport::Resolve(const QString& chosen, int filterIndex)
{
    static const char* const kExtensions[] = {".xls", ".htm", ".xlsx"};
    static const ReportFormat kFormats[] = {ReportFormat::Xls, ReportFormat::Html, ReportFormat::Xlsx};
    const int i = ValidFilterIndex(filterIndex) - 1;
    ReportExportTarget target{chosen, kFormats[i]};
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    if (suffix.isEmpty() && !chosen.endsWith(QLatin1Char('.')))
        target.path += QLatin1String(kExtensions[i]);
    // A file of one format under another's name is refused by the readers that name promises.
    else if (suffix == QLatin1String("xls"))
        target.format = ReportFormat::Xls;
    else if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        target.format = ReportFormat::Html;
    else if (suffix == QLatin1String("xlsx"))
        target.format = ReportFormat::Xlsx;
    else if (suffix == QLatin1String("pdf"))
        target.format = ReportFormat::Pdf;
    return target;
}

Result<> ReportExport::Save(const ReportSheet& sheet, const ReportExportTarget& target)
{
    const QString& path = target.path;
    switch (target.format) {
    case ReportFormat::Html: {
        const QByteArray html = ReportHtml(sheet);
        return WriteReplacing(path, [&html](int fd, const QString&) { return WriteBytes(fd, html); });
    }
    case ReportFormat::Xls: {
        const Result<QByteArray> bytes = XlsWriter::Write(sheet);
        if (!bytes)
            return Failed(path, bytes.Why());
        return WriteReplacing(path,
                              [&bytes](int fd, const QString&) { return WriteBytes(fd, bytes.Value()); });
    }
    case ReportFormat::Xlsx:
        // libxlsxwriter writes only to a named file: the temporary one, opened again by name.
        return WriteReplacing(path,
                              [&sheet](int, const QString& temp) { return XlsxWriter::Write(sheet, temp); });
    case ReportFormat::Pdf:
        return WriteReplacing(path, [&sheet](int fd, const QString&) { return WritePdf(sheet, fd); });
    }
    return Failed(path, Failure{EINVAL, "Unknown format."});
}

}  // namespace vm
