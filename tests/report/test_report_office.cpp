// The report's files as LibreOffice opens them: the .htm through Calc's HTML import keeps its
// look, and the Excel files print one page wide with their column titles on every page.
// LibreOffice starts slowly, so one test does every conversion.

#include <gtest/gtest.h>

#include "ReportTestSource.h"
#include "catalogue/Registers.h"
#include "report/ReportBuilder.h"
#include "report/ReportExport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

namespace vm {
namespace {

using test::TestReportSource;

const QDateTime kNow(QDate(2026, 12, 9), QTime(8, 5, 3));

// Runs a program to its end; its standard output, or `failed` set.
QByteArray RunProgram(const QString& program, const QStringList& args, bool* failed)
{
    QProcess p;
    p.start(program, args);
    const bool finished = p.waitForFinished(180000);
    *failed = !finished || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0;
    EXPECT_FALSE(*failed) << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

// Blanks as Calc's import keeps them: runs written as no-break spaces, folded by it otherwise.
QString Folded(QString text)
{
    return text.replace(QChar(0xA0), QLatin1Char(' ')).simplified();
}

class ReportOffice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        int version = -1;
        for (const auto& f : test::ShippedDataFiles())
            if (f.model == kModelQmA20)
                version = f.version;
        ASSERT_GE(version, 0) << "no QM-A20 data file";
        ASSERT_TRUE(source.Load(kModelQmA20, version));
        test::CycleStatuses(*source.data);
        sheet = ReportBuilder(host, source).Build({ReportNodeKind::AllGroups, {}}, {}, kNow);
    }

    // Converts with LibreOffice headless into `out`; false when the conversion failed.
    bool Convert(const QString& soffice, const QStringList& files, const QString& to,
                 const QString& filter = {})
    {
        QStringList args{QStringLiteral("-env:UserInstallation=file://") + dir.filePath("profile"),
                         QStringLiteral("--headless"), QStringLiteral("--norestore")};
        if (!filter.isEmpty())
            args << QStringLiteral("--infilter=") + filter;
        args << QStringLiteral("--convert-to") << to << QStringLiteral("--outdir") << dir.filePath("out")
             << files;
        bool failed = false;
        RunProgram(soffice, args, &failed);
        return !failed;
    }

    QString File(const QString& name) const { return dir.filePath(name); }

    test::FakeToolHost host;
    TestReportSource source{host, kFirstOfflineSlot};
    ReportSheet sheet;
    QTemporaryDir dir;
};

TEST_F(ReportOffice, calcKeepsTheLookOfTheHtmlAndPrintsTheExcelFilesOnePageWide)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice, Debian package libreoffice-calc-nogui) is not installed";
    ASSERT_TRUE(ReportExport::Save(sheet, {File("look.htm"), ReportFormat::Html}).Ok());
    ASSERT_TRUE(ReportExport::Save(sheet, {File("r97.xls"), ReportFormat::Xls}).Ok());
    ASSERT_TRUE(ReportExport::Save(sheet, {File("r07.xlsx"), ReportFormat::Xlsx}).Ok());
    ASSERT_TRUE(
        Convert(soffice, {File("look.htm")}, QStringLiteral("xlsx"), QStringLiteral("HTML (StarCalc)")));
    ASSERT_TRUE(Convert(soffice, {File("r97.xls"), File("r07.xlsx")}, QStringLiteral("pdf")));

    // The .htm as Calc imported it, read by openpyxl.
    bool failed = false;
    const QByteArray json = RunProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(VARIMON_SOURCE_DIR "/tests/report/read_sheet.py"), File("out/look.xlsx")}, &failed);
    ASSERT_FALSE(failed);
    const QJsonObject read = QJsonDocument::fromJson(json).object();
    // Every text as the report shows it: "5.0" stays "5.0", "007" stays "007".
    std::map<std::pair<int, int>, QString> texts;
    for (const auto& v : read["cells"].toArray()) {
        const QJsonArray a = v.toArray();
        EXPECT_EQ(a[3].toString(), "text") << a[2].toVariant().toString().toStdString();
        texts[{a[0].toInt(), a[1].toInt()}] = a[2].toString();
    }
    const QJsonObject styles = read["styles"].toObject();
    int fills = 0, italics = 0, bolds = 0, inks = 0;
    for (int r = 1; r <= sheet.RowCount(); ++r)
        for (int c = 2; c <= 11; ++c) {
            const ReportCell& cell = *sheet.CellAt(r, c);
            if (cell.text.isEmpty())
                continue;
            SCOPED_TRACE(testing::Message() << "row " << r << " column " << c);
            EXPECT_EQ(Folded(texts[std::make_pair(r, c)]), Folded(cell.text));
            const QJsonObject s = styles[QStringLiteral("%1,%2").arg(r).arg(c)].toObject();
            EXPECT_EQ(s["fill"].toString(), cell.fill.isValid() ? cell.fill.name().mid(1) : QString());
            EXPECT_EQ(s["italic"].toBool(), cell.italic);
            EXPECT_EQ(s["bold"].toBool(), cell.bold);
            EXPECT_EQ(s["ink"].toString(), cell.ink.name().mid(1));
            fills += cell.fill.isValid();
            italics += cell.italic;
            bolds += cell.bold;
            inks += cell.ink != QColor(Qt::black);
        }
    EXPECT_GT(fills, 10);
    EXPECT_GT(italics, 10);
    EXPECT_GT(bolds, 10);
    EXPECT_GT(inks, 10);
    const QJsonArray widths = read["widths"].toArray();
    ASSERT_EQ(widths.size(), ReportSheet::kColumns);
    for (int c = 1; c <= ReportSheet::kColumns; ++c)
        EXPECT_NEAR(widths[c - 1].toDouble() / widths[1].toDouble(),
                    double(ReportSheet::ColumnWidth(c)) / ReportSheet::ColumnWidth(2), 0.1)
            << "column " << c;

    // Both Excel files print as many pages as their rows need, each page as wide as the report,
    // with the column titles at its top.
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const double pageTwips = QPageSize(QPageSize::A4).size(QPageSize::Inch).height() * 1440;
    const int rowsPerPage = static_cast<int>((pageTwips - 198 - 720) / ReportSheet::kRowHeight) - 1;
    const int expected = (sheet.RowCount() + rowsPerPage - 1) / rowsPerPage;
    int pages[2] = {};
    for (int f = 0; f < 2; ++f) {
        const QString pdf = File(f == 0 ? "out/r97.pdf" : "out/r07.pdf");
        SCOPED_TRACE(pdf.toStdString());
        const QString text = QString::fromUtf8(
            RunProgram(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &failed));
        const QStringList pageTexts = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        pages[f] = static_cast<int>(pageTexts.size());
        EXPECT_LE(std::abs(pages[f] - expected), 1) << pages[f] << " pages, " << expected << " expected";
        for (int p = 0; p < pages[f]; ++p) {
            EXPECT_TRUE(pageTexts[p].contains(
                QRegularExpression(QStringLiteral("Address\\s+Parameter Name\\s+Value\\s+Default\\s+Unit"))))
                << "page " << p + 1;
            EXPECT_TRUE(pageTexts[p].contains(QStringLiteral("%1 / %2 Page").arg(p + 1).arg(pages[f])))
                << "page " << p + 1;
        }
    }
    EXPECT_EQ(pages[0], pages[1]);
}

}  // namespace
}  // namespace vm
