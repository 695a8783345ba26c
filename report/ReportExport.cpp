#include "report/ReportExport.h"

#include "report/ReportHtml.h"
#include "report/ReportPrinter.h"
#include "report/ReportSheet.h"
#include "report/XlsWriter.h"
#include "report/XlsxWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vm {

namespace {

ReportExportResult Failed(const QString& path, const QString& why)
{
    return {false, QStringLiteral("Cannot export the report to %1:\n%2").arg(QDir::toNativeSeparators(path), why)};
}

// Bytes through a temporary file renamed into place on success.
ReportExportResult SaveBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return Failed(path, why);
    }
    if (!file.commit())
        return Failed(path, file.errorString());
    return {true, {}};
}

ReportExportResult SavePdf(const ReportSheet& sheet, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(path, file.errorString());
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Parameter Report"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        ReportPrinter::SetMargins(writer);
        painted = ReportPrinter(sheet).Print(writer);
    }
    if (!painted || file.error() != QFileDevice::NoError) {
        const QString why = painted ? file.errorString() : QStringLiteral("The page could not be drawn.");
        file.cancelWriting();
        return Failed(path, why);
    }
    if (!file.commit())
        return Failed(path, file.errorString());
    return {true, {}};
}

// libxlsxwriter writes only to a named file: a temporary one beside the target, then renamed.
ReportExportResult SaveXlsx(const ReportSheet& sheet, const QString& path)
{
    const QFileInfo info(path);
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return Failed(path, temp.errorString());
    temp.close();
    QString why;
    if (!XlsxWriter::Write(sheet, temp.fileName(), &why))
        return Failed(path, why);
    const QByteArray from = QFile::encodeName(temp.fileName());
    const QByteArray to = QFile::encodeName(path);
    if (std::rename(from.constData(), to.constData()) != 0)
        return Failed(path, QString::fromLocal8Bit(std::strerror(errno)));
    temp.setAutoRemove(false);
    // QTemporaryFile creates owner-only files; an export is an ordinary document.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ReadOther);
    return {true, {}};
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
    static const ReportFormat kFormats[] = {ReportFormat::kXls, ReportFormat::kHtml, ReportFormat::kXlsx};
    const int i = ValidFilterIndex(filterIndex) - 1;
    ReportExportTarget target{chosen, kFormats[i]};
    if (QFileInfo(chosen).suffix().isEmpty() && !chosen.endsWith(QLatin1Char('.')))
        target.path += QLatin1String(kExtensions[i]);
    return target;
}

ReportExportResult ReportExport::Save(const ReportSheet& sheet, const ReportExportTarget& target)
{
    const QString& path = target.path;
    switch (target.format) {
    case ReportFormat::kHtml:
        return SaveBytes(path, ReportHtml(sheet));
    case ReportFormat::kXls: {
        QString why;
        const auto bytes = XlsWriter::Write(sheet, &why);
        return bytes ? SaveBytes(path, *bytes) : Failed(path, why);
    }
    case ReportFormat::kXlsx:
        return SaveXlsx(sheet, path);
    case ReportFormat::kPdf:
        return SavePdf(sheet, path);
    }
    return Failed(path, QStringLiteral("Unknown format."));
}

}  // namespace vm
