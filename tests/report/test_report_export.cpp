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

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <set>

#include <sys/resource.h>
#include <sys/stat.h>

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
        test::CycleStatuses(*source.data);
        source.data->ItemAt(0, 0)->displayName = "<script>\"a\" & 'b'</script>";
        sheet = ReportBuilder(host, source).Build({ReportNodeKind::AllGroups, {}}, kTrickyHeader, kNow);
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
    for (const QString& p :
         {QStringLiteral("/usr/bin/python3"), QStandardPaths::findExecutable(QStringLiteral("python3"))})
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

// The number format a reader should see for a cell the report shows as `text`: "0" or "0.00"
// for a plain decimal in an address, value or default column, nothing for anything else.
QString ExpectedNumberFormat(const ReportSheet& sheet, int row, int column)
{
    static const QRegularExpression plain(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.([0-9]+))?$"));
    const QString& text = sheet.CellAt(row, column)->text;
    const QRegularExpressionMatch m = plain.match(text);
    if (row < ReportBuilder::kFirstSectionRow || !m.hasMatch())
        return {};
    // Address, value and default columns of the section the row is in.
    const ReportCell* title = nullptr;
    for (int r = row; r >= 1 && !title; --r)
        if (sheet.CellAt(r, 2)->text.startsWith(QLatin1String("[ ")))
            title = sheet.CellAt(r, 2);
    const bool user = title && title->text.startsWith(QLatin1String("[ User Group Name"));
    const std::set<int> numeric = user ? std::set<int>{3, 7, 9} : std::set<int>{2, 6, 8};
    if (!numeric.count(column) || sheet.CellAt(row, column)->fill.isValid())
        return {};
    const qsizetype decimals = m.capturedLength(3);
    return decimals ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0')) : QStringLiteral("0");
}

// Every text, number, merged area and anchor cell style of the sheet as the reader saw them.
// Returns how many numbers it found.
int ExpectSameAsSheet(const QJsonObject& read, const ReportSheet& sheet)
{
    EXPECT_EQ(read["name"].toString(), "Parameter Report");
    std::map<std::pair<int, int>, QJsonArray> found;
    for (const auto& v : read["cells"].toArray()) {
        const QJsonArray a = v.toArray();
        found[{a[0].toInt(), a[1].toInt()}] = a;
    }
    size_t expectedTexts = 0;
    int numbers = 0;
    for (int r = 1; r <= sheet.RowCount(); ++r)
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            const ReportCell& cell = *sheet.CellAt(r, c);
            if (cell.text.isEmpty())
                continue;
            ++expectedTexts;
            SCOPED_TRACE(testing::Message()
                         << "row " << r << " column " << c << " " << cell.text.toStdString());
            const QJsonArray a = found[std::make_pair(r, c)];
            const QString format = ExpectedNumberFormat(sheet, r, c);
            if (format.isEmpty()) {
                EXPECT_EQ(a[3].toString(), "text");
                EXPECT_EQ(a[2].toString(), cell.text);
            } else {
                EXPECT_EQ(a[3].toString(), "number");
                EXPECT_DOUBLE_EQ(a[2].toDouble(), cell.text.toDouble());
                EXPECT_EQ(a[4].toString(), format);
                ++numbers;
            }
        }
    EXPECT_EQ(found.size(), expectedTexts);

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
    return numbers;
}

// Column widths as the window has them, and the column titles repeated on every printed page.
void ExpectPageSetup(const QJsonObject& read, const ReportSheet& sheet)
{
    const QJsonArray widths = read["widths"].toArray();
    ASSERT_EQ(widths.size(), ReportSheet::kColumns);
    for (int c = 1; c <= ReportSheet::kColumns; ++c) {
        // Stored widths are in characters of 7 pixels (at 96 pixels per inch), padding included.
        const double pixels = widths[c - 1].toDouble() * 7;
        EXPECT_NEAR(pixels, ReportSheet::ColumnWidth(c) * 96.0 / 1440, 0.6) << "column " << c;
    }
    // Every parameter group section has the same column titles, at row 9 for the first.
    ASSERT_GT(sheet.RowCount(), 9);
    const QString titles = read["titles"].toString().remove(QLatin1Char('$'));
    EXPECT_EQ(titles, "9:9");
}

TEST_F(ReportExportTest, excel97FileReadByXlrdHasEveryTextMergeAndColour)
{
    ASSERT_GT(sheet.RowCount(), 100);
    const ReportExportTarget target{File("report.xls"), ReportFormat::Xls};
    const Result<void> result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.Ok()) << result.Text();
    EXPECT_TRUE(ReadAll(target.path).startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1")));
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    EXPECT_EQ(read["rows"].toInt(), sheet.RowCount() - 2);  // trailing blank rows hold no cells
    EXPECT_GT(ExpectSameAsSheet(read, sheet), 300);
    ExpectPageSetup(read, sheet);
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
    const ReportExportTarget target{File("big.xls"), ReportFormat::Xls};
    ASSERT_TRUE(ReportExport::Save(big, target).Ok());
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    ExpectSameAsSheet(read, big);
}

TEST_F(ReportExportTest, xlsxFileReadByOpenpyxlHasEveryTextMergeAndColour)
{
    const ReportExportTarget target{File("report.xlsx"), ReportFormat::Xlsx};
    const Result<void> result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.Ok()) << result.Text();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).contains("report.xlsx"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    EXPECT_GT(ExpectSameAsSheet(read, sheet), 300);
    ExpectPageSetup(read, sheet);
    const QJsonObject setup = read["setup"].toObject();
    EXPECT_EQ(setup["orientation"].toString(), "portrait");
    EXPECT_EQ(setup["paper"].toVariant().toString(), "9");
    EXPECT_TRUE(setup["fitToPage"].toBool());
    EXPECT_EQ(setup["fitToWidth"].toInt(1), 1);  // absent means one page
    EXPECT_EQ(setup["fitToHeight"].toInt(), 0);
    EXPECT_NEAR(setup["left"].toDouble(), 198 / 1440.0, 1e-6);
    EXPECT_NEAR(setup["rowHeight"].toDouble(), 12.75, 1e-6);
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

// The output of a poppler tool, or an empty string with `skip` set when it is not installed.
QString Poppler(const QString& tool, const QStringList& args, QString* skip)
{
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) {
        *skip = tool + QStringLiteral(" (poppler-utils) is not installed");
        return {};
    }
    QProcess p;
    p.start(exe, args);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString WithoutBlanks(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\s+")));
    return text;
}

TEST_F(ReportExportTest, pdfRepeatsTheSectionAndColumnTitlesAtTheTopOfEveryPage)
{
    const ReportExportTarget target{File("report.pdf"), ReportFormat::Pdf};
    const Result<void> result = ReportExport::Save(sheet, target);
    ASSERT_TRUE(result.Ok()) << result.Text();
    QString skip;
    const QString info = Poppler(QStringLiteral("pdfinfo"), {target.path}, &skip);
    const QString out = Poppler(QStringLiteral("pdftotext"),
                                {QStringLiteral("-layout"), target.path, QStringLiteral("-")}, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const QStringList pageTexts = out.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    const int pages = static_cast<int>(pageTexts.size());
    ASSERT_GT(pages, 3);
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
    EXPECT_TRUE(pageTexts[0].contains(QRegularExpression(QStringLiteral("2026\\.12\\.09\\s+08:05:03"))));
    for (int p = 1; p <= pages; ++p) {
        SCOPED_TRACE(testing::Message() << "page " << p);
        const QStringList lines = pageTexts[p - 1].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList filled;
        for (const QString& line : lines)
            if (!line.trimmed().isEmpty())
                filled << line.trimmed();
        ASSERT_GE(filled.size(), 3);
        EXPECT_EQ(filled.last(), ReportPrinter::FooterText(p, pages));
        if (p == 1)
            continue;
        EXPECT_TRUE(filled[0].startsWith("[ Parameter Group Name :")) << filled[0].toStdString();
        EXPECT_TRUE(filled[1].contains(
            QRegularExpression(QStringLiteral("^Address\\s+Parameter Name\\s+Value\\s+Default\\s+Unit$"))))
            << filled[1].toStdString();
        // The section title of a page is the one of the group its first item belongs to.
        EXPECT_FALSE(filled[2].startsWith("[ Parameter Group Name :")) << filled[2].toStdString();
    }
}

TEST_F(ReportExportTest, pdfPrintsEveryTextWholeHoweverNarrowItsCell)
{
    // Group names in the one-column "Group Name" cell, a long parameter name, header texts of
    // the 20 characters the header dialog accepts, in wide letters.
    std::vector<uint32_t> addresses;
    for (const auto& group : source.data->Groups())
        addresses.push_back(group->items.At(0)->address);
    source.data->GroupAt(0)->items.At(0)->displayName = "Emergency Stop (EST)";
    source.AddUserGroup("Mine", addresses);
    const ReportHeaderForm header{QString(20, QLatin1Char('W')), QStringLiteral("MMMMMMMMMMMMMMMMMMMM"),
                                  QStringLiteral("Wolfgang Mustermann")};
    const ReportSheet mine =
        ReportBuilder(host, source).Build({ReportNodeKind::UserGroup, "Mine"}, header, kNow);
    // An A4 page holds the sheet unscaled: a twip is a twentieth of a point from the margin.
    const double margin = 198 / 20.0;
    const double pageHeight = QPageSize(QPageSize::A4).size(QPageSize::Point).height();
    for (const ReportSheet* s : {&mine, static_cast<const ReportSheet*>(&sheet)}) {
        const ReportExportTarget target{File(s == &mine ? "mine.pdf" : "all.pdf"), ReportFormat::Pdf};
        const Result<void> result = ReportExport::Save(*s, target);
        ASSERT_TRUE(result.Ok()) << result.Text();
        // The text inside the columns of each cell, read from that strip of every page alone
        // (pdftotext ignores clipping, so a cut text would be whole without the strip); raw
        // order keeps the lines of a wrapped text together; ligatures such as "ﬃ" come back as
        // one character.
        std::map<std::pair<int, int>, QString> strips;
        int checked = 0;
        for (int r = 1; r <= s->RowCount(); ++r)
            for (int c = 1; c <= ReportSheet::kColumns; ++c) {
                const QString text =
                    WithoutBlanks(s->CellAt(r, c)->text.normalized(QString::NormalizationForm_KC));
                if (text.isEmpty())
                    continue;
                const ReportSpan* span = s->SpanAt(r, c);
                const int last = span ? c + span->columns - 1 : c;
                QString& strip = strips[{c, last}];
                if (strip.isEmpty()) {
                    int left = 0, right = 0;
                    for (int k = 1; k <= last; ++k)
                        (k < c ? left : right) += ReportSheet::ColumnWidth(k);
                    right += left;
                    QString skip;
                    strip = WithoutBlanks(
                        Poppler(
                            QStringLiteral("pdftotext"),
                            {QStringLiteral("-raw"), QStringLiteral("-x"),
                             QString::number(int(margin + left / 20.0)), QStringLiteral("-y"),
                             QStringLiteral("0"), QStringLiteral("-W"),
                             QString::number(int(std::ceil((right - left) / 20.0)) + 1), QStringLiteral("-H"),
                             QString::number(int(pageHeight)), target.path, QStringLiteral("-")},
                            &skip)
                            .normalized(QString::NormalizationForm_KC));
                    if (!skip.isEmpty())
                        GTEST_SKIP() << skip.toStdString();
                }
                EXPECT_TRUE(strip.contains(text)) << target.path.toStdString() << " row " << r << " column "
                                                  << c << ": " << s->CellAt(r, c)->text.toStdString();
                ++checked;
            }
        EXPECT_GT(checked, 40);
    }
}

TEST(ReportExportTarget, missingExtensionFollowsTheFilterAndAGivenOneIsKept)
{
    auto t = ReportExport::Resolve(QStringLiteral("/x/report"), 2);
    EXPECT_EQ(t.path, "/x/report.htm");
    EXPECT_EQ(t.format, ReportFormat::Html);
    t = ReportExport::Resolve(QStringLiteral("/x/report.txt"), 1);
    EXPECT_EQ(t.path, "/x/report.txt");
    EXPECT_EQ(t.format, ReportFormat::Xls);
    t = ReportExport::Resolve(QStringLiteral("/x/report.txt"), 3);
    EXPECT_EQ(t.format, ReportFormat::Xlsx);
    t = ReportExport::Resolve(QStringLiteral("/x/report"), 0);
    EXPECT_EQ(t.path, "/x/report.xls");
    t = ReportExport::Resolve(QStringLiteral("/x/report"), 3);
    EXPECT_EQ(t.path, "/x/report.xlsx");
    EXPECT_EQ(t.format, ReportFormat::Xlsx);
    EXPECT_EQ(ReportExport::ValidFilterIndex(7), 1);
}

TEST(ReportExportTarget, aTypedKnownExtensionDecidesTheFormatWhateverTheFilter)
{
    const struct {
        const char* name;
        int filter;
        ReportFormat format;
    } cases[] = {
        {"/x/cust.xlsx", 1, ReportFormat::Xlsx},     {"/x/cust.XLSX", 2, ReportFormat::Xlsx},
        {"/x/cust.xls", 3, ReportFormat::Xls},       {"/x/cust.htm", 1, ReportFormat::Html},
        {"/x/cust.Html", 3, ReportFormat::Html},     {"/x/cust.pdf", 1, ReportFormat::Pdf},
        {"/x/cust.xlsx.bak", 2, ReportFormat::Html},
    };
    for (const auto& c : cases) {
        const auto t = ReportExport::Resolve(QString::fromLatin1(c.name), c.filter);
        EXPECT_EQ(t.path, QString::fromLatin1(c.name));
        EXPECT_EQ(t.format, c.format) << c.name;
    }
}

TEST_F(ReportExportTest, xlsxTypedUnderTheExcel97FilterOpensInOpenpyxl)
{
    const ReportExportTarget target = ReportExport::Resolve(File("cust.xlsx"), 1);
    ASSERT_TRUE(ReportExport::Save(sheet, target).Ok());
    QString skip;
    const QJsonObject read = ReadBack(target.path, &skip);
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    EXPECT_EQ(read["name"].toString(), "Parameter Report");
}

TEST_F(ReportExportTest, overwritingKeepsTheModeAndWritesThroughALink)
{
    for (ReportFormat f : {ReportFormat::Xls, ReportFormat::Html, ReportFormat::Xlsx, ReportFormat::Pdf}) {
        SCOPED_TRACE(static_cast<int>(f));
        const QString real = File(QStringLiteral("real%1").arg(static_cast<int>(f)));
        const QString link = File(QStringLiteral("link%1").arg(static_cast<int>(f)));
        WriteAll(real, "old");
        ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
        ASSERT_TRUE(QFile::link(real, link));
        const Result<void> r = ReportExport::Save(sheet, {link, f});
        ASSERT_TRUE(r.Ok()) << r.Text();
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        EXPECT_GT(QFileInfo(real).size(), 1000);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
    // A new file gets the ordinary mode of the umask, not an owner-only one.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(ReportExport::Save(sheet, {File("new.htm"), ReportFormat::Html}).Ok());
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(File("new.htm")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// Files past the size limit fail to write as on a full disk, with the system's reason.
TEST_F(ReportExportTest, aWriteThatRunsOutOfRoomNamesTheFileAndTheSystemReason)
{
    for (ReportFormat f : {ReportFormat::Xls, ReportFormat::Html}) {
        const QString path = File(f == ReportFormat::Xls ? "full.xls" : "full.htm");
        WriteAll(path, "previous report");
        struct sigaction ignore {
        }, before{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &before);
        struct rlimit limit {
        }, saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        limit = saved;
        limit.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const Result<void> r = ReportExport::Save(sheet, {path, f});
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::sigaction(SIGXFSZ, &before, nullptr);
        EXPECT_FALSE(r.Ok());
        EXPECT_TRUE(QString::fromStdString(r.Text()).contains(path)) << r.Text();
        EXPECT_TRUE(QString::fromStdString(r.Text()).contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
            << r.Text();
        EXPECT_EQ(ReadAll(path), "previous report");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no temporary left
}

TEST_F(ReportExportTest, failedExportLeavesTheOldFileAndSaysWhy)
{
    const QString old = File("old.xls");
    WriteAll(old, "previous report");
    ReportSheet tooTall;
    tooTall.Cell(XlsWriter::kMaxRows + 1, 2).text = QStringLiteral("x");
    const Result<void> r = ReportExport::Save(tooTall, {old, ReportFormat::Xls});
    EXPECT_FALSE(r.Ok());
    EXPECT_TRUE(QString::fromStdString(r.Text()).contains("65536")) << r.Text();
    EXPECT_EQ(r.Code(), EFBIG);
    EXPECT_EQ(ReadAll(old), "previous report");

    for (ReportFormat f : {ReportFormat::Xls, ReportFormat::Html, ReportFormat::Xlsx, ReportFormat::Pdf}) {
        const Result<void> missing = ReportExport::Save(sheet, {File("no/such/folder/r"), f});
        EXPECT_EQ(missing.Code(), ENOENT);
        EXPECT_TRUE(QString::fromStdString(missing.Text()).startsWith("Cannot export the report to"))
            << missing.Text();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xls"});
}

}  // namespace
}  // namespace vm
