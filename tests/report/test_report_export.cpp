#include <gtest/gtest.h>

#include "ReportTestSource.h"
#include "report/ReportBuilder.h"
#include "report/ReportExport.h"
#include "report/ReportHtml.h"
#include "report/ReportPrinter.h"
#include "report/XlsWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <set>

namespace vm {
namespace {

using test::TestReportSource;

const QDateTime kNow(QDate(2026, 12, 9), QTime(8, 5, 3));
const ReportHeaderForm kTrickyHeader{QStringLiteral("=1+2 <b>&amp;"), QStringLiteral("Ünïcode – 東京"),
                                     QStringLiteral("007")};

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The largest shipped data file, every group, the four value states, tricky texts.
class ReportExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        test::ShippedFile largest{};
        size_t most = 0;
        for (const auto& f : test::ShippedDataFiles()) {
            TestReportSource probe(host, kFirstOfflineSlot);
            ASSERT_TRUE(probe.Load(f.model, f.version));
            if (static_cast<size_t>(probe.data->TotalItemCount()) > most) {
                most = static_cast<size_t>(probe.data->TotalItemCount());
                largest = f;
            }
        }
        ASSERT_TRUE(source.Load(largest.model, largest.version));
        int i = 0;
        for (const auto& group : source.data->Groups())
            for (const auto& item : group->items) {
                item->valueStatus = (i % 4 == 3) ? 2 : (i % 4 == 0 ? 0 : 1);
                item->value = item->defaultValue + (i % 4 == 2 ? 1 : 0);
                ++i;
            }
        source.data->ItemAt(0, 0)->displayName = "<script>\"a\" & 'b'</script>";
        sheet = ReportBuilder(host, source).Build({ReportNodeKind::kAllGroups, {}}, kTrickyHeader, kNow);
    }

    QString File(const QString& name) const { return dir.filePath(name); }

    test::FakeToolHost host;
    TestReportSource source{host, kFirstOfflineSlot};
    ReportSheet sheet;
    QTemporaryDir dir;
};

// Runs the independent reader; an empty object when python3 or its module is missing.
QJsonObject ReadBack(const QString& path, QString* skip)
{
    // The system's python3 first: Debian's reader modules are installed for it.
    QStringList pythons;
    for (const QString& p : {QStringLiteral("/usr/bin/python3"), QStandardPaths::findExecutable(QStringLiteral("python3"))})
        if (!p.isEmpty() && QFile::exists(p) && !pythons.contains(p))
            pythons << p;
    *skip = QStringLiteral("python3 is not installed");
    for (const QString& python : pythons) {
        QProcess p;
        p.start(python, {QStringLiteral(VARIMON_SOURCE_DIR "/tests/report/read_sheet.py"), path});
        EXPECT_TRUE(p.waitForFinished(60000));
        if (p.exitCode() == 3) {
            *skip = QStringLiteral("python3-xlrd or python3-openpyxl is not installed for ") + python;
            continue;
        }
        skip->clear();
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    return {};
}

QString Hex(const QColor& c)
{
    return c.name().mid(1);
}

// Every text, merged area and anchor cell style of the sheet as the reader saw them.
void ExpectSameAsSheet(const QJsonObject& read, const ReportSheet& sheet)
{
    EXPECT_EQ(read["name"].toString(), "Parameter Report");
    std::map<std::pair<int, int>, QString> texts;
    for (const auto& v : read["cells"].toArray()) {
        const QJsonArray a = v.toArray();
        EXPECT_EQ(a[3].toString(), "text") << a[2].toString().toStdString();
        texts[{a[0].toInt(), a[1].toInt()}] = a[2].toString();
    }
    size_t expectedTexts = 0;
    for (int r = 1; r <= sheet.RowCount(); ++r)
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            const ReportCell& cell = *sheet.CellAt(r, c);
            if (cell.text.isEmpty())
                continue;
            ++expectedTexts;
            EXPECT_EQ(texts[std::make_pair(r, c)], cell.text) << "row " << r << " column " << c;
        }
    EXPECT_EQ(texts.size(), expectedTexts);

    std::set<std::tuple<int, int, int, int>> merged, expected;
    for (const auto& v : read["merged"].toArray()) {
        const QJsonArray a = v.toArray();
        merged.insert({a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()});
    }
    for (const ReportSpan& s : sheet.Spans())
        expected.insert({s.row, s.column, s.rows, s.columns});
    EXPECT_EQ(merged, expected);

    const QJsonObject styles = read["styles"].toObject();
    int checked = 0;
    for (int r = 1; r <= sheet.RowCount(); ++r)
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            const ReportCell& cell = *sheet.CellAt(r, c);
            if (sheet.IsCovered(r, c) || (!cell.boxed && !cell.fill.isValid() && cell.text.isEmpty()))
                continue;
            const QJsonObject s = styles[QStringLiteral("%1,%2").arg(r).arg(c)].toObject();
            SCOPED_TRACE(testing::Message() << "row " << r << " column " << c);
            EXPECT_EQ(s["fill"].toString(), cell.fill.isValid() ? Hex(cell.fill) : QString());
            EXPECT_EQ(s["ink"].toString(), Hex(cell.ink));
            EXPECT_EQ(s["bold"].toBool(), cell.bold);
            EXPECT_EQ(s["italic"].toBool(), cell.italic);
            EXPECT_EQ(s["border"].toBool(), cell.boxed);
            ++checked;
        }
    EXPECT_GT(checked, 100);
}

TEST_F(ReportExportTest, excel97FileReadByXlrdHasEveryTextMergeAndColour)
{
    ASSERT_GT(sheet.RowCount(), 100);
    const ReportExportTarget target{File("report.xls"), ReportFormat::kXls};
    const ReportExportResult result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(ReadAll(target.path).startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    EXPECT_EQ(read["rows"].toInt(), sheet.RowCount() - 2);  // trailing blank rows hold no cells
    ExpectSameAsSheet(read, sheet);
}

TEST_F(ReportExportTest, excel97SharedStringsSurviveContinueRecordsAndLongTexts)
{
    // Enough distinct, long and wide texts that the string table spans several records and
    // strings are split across them.
    ReportSheet big;
    for (int r = 1; r <= 400; ++r) {
        big.Cell(r, 2).text = QString(300, QChar(0x6771 + r % 7)) + QString::number(r);
        big.Cell(r, 3).text = QString(1000, QLatin1Char('a' + r % 26)) + QString::number(r);
    }
    const ReportExportTarget target{File("big.xls"), ReportFormat::kXls};
    ASSERT_TRUE(ReportExport::Save(big, target).ok);
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    ExpectSameAsSheet(read, big);
}

TEST_F(ReportExportTest, xlsxFileReadByOpenpyxlHasEveryTextMergeAndColour)
{
    const ReportExportTarget target{File("report.xlsx"), ReportFormat::kXlsx};
    const ReportExportResult result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).contains("report.xlsx"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    ExpectSameAsSheet(read, sheet);
}

TEST_F(ReportExportTest, htmlEscapesEveryTextAndKeepsBlanks)
{
    const QString html = QString::fromUtf8(ReportHtml(sheet));
    EXPECT_TRUE(html.contains("<meta charset=\"utf-8\">"));
    EXPECT_TRUE(html.contains("&lt;script&gt;&quot;a&quot; &amp; 'b'&lt;/script&gt;"));
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_TRUE(html.contains("=1+2 &lt;b&gt;&amp;amp;"));
    EXPECT_TRUE(html.contains(QStringLiteral("Ünïcode – 東京")));
    EXPECT_TRUE(html.contains("2026.12.09 &nbsp;08:05:03"));
    EXPECT_TRUE(html.contains("white-space: pre"));
    EXPECT_EQ(html.count("<tr>"), sheet.RowCount());
}

TEST(ReportHtml, smallSheetMatchesTheGoldenFile)
{
    ReportSheet s;
    s.Cell(2, 2).text = QStringLiteral("Company");
    s.Cell(2, 2).fill = QColor(189, 255, 148);
    s.Cell(2, 2).bold = true;
    s.Cell(2, 2).boxed = true;
    s.Cell(2, 3).boxed = true;
    s.Merge(2, 2, 1, 2);
    s.Cell(2, 4).text = QStringLiteral("A & B  <Ltd>   007");
    s.Cell(2, 4).boxed = true;
    s.Cell(3, 3).text = QStringLiteral("not read");
    s.Cell(3, 3).ink = QColor(153, 153, 153);
    s.Cell(3, 3).italic = true;
    s.EnsureRows(4);
    const QByteArray html = ReportHtml(s);
    const QString golden = QStringLiteral(VARIMON_SOURCE_DIR "/tests/report/golden/small.htm");
    if (qEnvironmentVariableIsSet("VARIMON_UPDATE_GOLDEN"))
        WriteAll(golden, html);
    EXPECT_EQ(html, ReadAll(golden));
}

TEST_F(ReportExportTest, pdfHasOnePagePerSixtyTwoRowsWithTheFooterOnEach)
{
    const ReportExportTarget target{File("report.pdf"), ReportFormat::kPdf};
    const ReportExportResult result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    // A4 less 198-twip margins holds 64 rows of 255 twips, two of them taken by the footer.
    const double a4Twips = QPageSize(QPageSize::A4).size(QPageSize::Inch).height() * 1440;
    const int perPage = static_cast<int>(std::floor((a4Twips - 2 * 198) / 255)) - 2;
    ASSERT_EQ(perPage, 62);
    const int pages = (sheet.RowCount() + perPage - 1) / perPage;
    ASSERT_GT(pages, 1);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdftotext.isEmpty() || pdfinfo.isEmpty())
        GTEST_SKIP() << "poppler-utils is not installed";
    QProcess info;
    info.start(pdfinfo, {target.path});
    ASSERT_TRUE(info.waitForFinished(60000));
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), target.path, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    const QStringList pageTexts = out.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(pageTexts.size(), pages);
    for (int p = 1; p <= pages; ++p)
        EXPECT_TRUE(pageTexts[p - 1].contains(ReportPrinter::FooterText(p, pages))) << p;
    EXPECT_EQ(ReportPrinter::FooterText(2, 7), "2 / 7 Page");
    EXPECT_TRUE(pageTexts[0].contains(QRegularExpression(QStringLiteral("2026\\.12\\.09\\s+08:05:03"))));
    EXPECT_TRUE(pageTexts[0].contains("[ Parameter Group Name :"));
}

TEST(ReportExportTarget, missingExtensionFollowsTheFilterAndAGivenOneIsKept)
{
    auto t = ReportExport::Resolve(QStringLiteral("/x/report"), 2);
    EXPECT_EQ(t.path, "/x/report.htm");
    EXPECT_EQ(t.format, ReportFormat::kHtml);
    t = ReportExport::Resolve(QStringLiteral("/x/report.txt"), 1);
    EXPECT_EQ(t.path, "/x/report.txt");
    EXPECT_EQ(t.format, ReportFormat::kXls);
    t = ReportExport::Resolve(QStringLiteral("/x/report"), 0);
    EXPECT_EQ(t.path, "/x/report.xls");
    t = ReportExport::Resolve(QStringLiteral("/x/report"), 3);
    EXPECT_EQ(t.path, "/x/report.xlsx");
    EXPECT_EQ(t.format, ReportFormat::kXlsx);
    EXPECT_EQ(ReportExport::ValidFilterIndex(7), 1);
}

TEST_F(ReportExportTest, failedExportLeavesTheOldFileAndSaysWhy)
{
    const QString old = File("old.xls");
    WriteAll(old, "previous report");
    ReportSheet tooTall;
    tooTall.Cell(XlsWriter::kMaxRows + 1, 2).text = QStringLiteral("x");
    const ReportExportResult r = ReportExport::Save(tooTall, {old, ReportFormat::kXls});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("65536")) << r.error.toStdString();
    EXPECT_EQ(ReadAll(old), "previous report");

    for (ReportFormat f : {ReportFormat::kXls, ReportFormat::kHtml, ReportFormat::kXlsx, ReportFormat::kPdf}) {
        const ReportExportResult missing = ReportExport::Save(sheet, {File("no/such/folder/r"), f});
        EXPECT_FALSE(missing.ok);
        EXPECT_TRUE(missing.error.startsWith("Cannot export the report to")) << missing.error.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xls"});
}

}  // namespace
}  // namespace vm
