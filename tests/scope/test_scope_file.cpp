// The scope file's bytes, refused files, atomic saves, and the record file's lines.

#include "scope/RecordFile.h"
#include "scope/ScopeFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <variant>

using namespace vm::scope;
using vm::Result;

namespace {

ScopePicture TwoPoints()
{
    ScopePicture p;
    p.elapsed = 75;
    p.spanIndex = 2;
    p.yMax = 100.0;
    p.yMin = -1.5;
    p.channels[0] = {1, 3, 4, 0x100, 9, 1, 8, 5};
    p.channels[1] = {0, 7, 4, 0x100, 5, 0, 0, 14};  // off: stored without a model
    p.x = {46000.5, 46000.5 + 1.0 / 86400};
    p.y[0] = {12.5, 13.0};
    p.y[1] = {0.0, 0.0};
    p.y[2] = {0.0, 0.0};
    p.y[3] = {-2.0, 1e6};
    return p;
}

std::vector<uint8_t> Hex(const char* text)
{
    std::vector<uint8_t> out;
    for (const char* c = text; *c;) {
        if (*c == ' ' || *c == '\n') {
            ++c;
            continue;
        }
        unsigned v = 0;
        std::sscanf(c, "%2x", &v);
        out.push_back(static_cast<uint8_t>(v));
        c += 2;
    }
    return out;
}

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& v)
{
    return {v.data(), v.size()};
}

}  // namespace

static RecordRow Row(std::array<double, 4> values)
{
    RecordRow row;
    row.values = values;
    return row;
}

TEST(ScopeFileBytes, emptyPictureIsTheHeaderOnly)
{
    ScopePicture p;
    p.elapsed = 1;
    NormaliseModels(p);
    const auto bytes = EncodeScopeFile(p);
    ASSERT_EQ(bytes.size(), 152u);
    // magic 39153, elapsed 1, span 5, y max 100.0, y min 0.0
    const auto head = Hex("F1980000 01000000 05000000 0000000000005940 0000000000000000");
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    // Channel 0: off, station 0, model 255, version 0, address FFFF, index 0, offset 8, division 5.
    const auto ch0 = Hex("00000000 00000000 FF000000 00000000 FFFF 00000000 08000000 05000000");
    EXPECT_TRUE(std::equal(ch0.begin(), ch0.end(), bytes.begin() + 28));
    EXPECT_EQ(std::memcmp(bytes.data() + 148, "\0\0\0\0", 4), 0);
    const auto back = ParseScopeFile(Bytes(bytes));
    ASSERT_TRUE(back.Ok()) << back.Text();
    EXPECT_TRUE(back.Value().x.empty());
}

TEST(ScopeFileBytes, twoPointsRoundTripByteForByte)
{
    ScopePicture p = TwoPoints();
    NormaliseModels(p);
    const auto bytes = EncodeScopeFile(p);
    ASSERT_EQ(bytes.size(), 152u + 2 * 40);
    // Channel 1 is off: model 255, version 0, whatever was kept.
    const auto ch1 = Hex("00000000 07000000 FF000000 00000000 0500 00000000 00000000 0E000000");
    EXPECT_TRUE(std::equal(ch1.begin(), ch1.end(), bytes.begin() + 28 + 30));
    // Point count, then the first X value 46000.5.
    EXPECT_TRUE(
        std::equal(bytes.begin() + 148, bytes.begin() + 160, Hex("02000000 000000001076E640").begin()));
    // Y of channel 3, point 1: 1e6 at the very end.
    EXPECT_TRUE(std::equal(bytes.end() - 8, bytes.end(), Hex("0000000080842E41").begin()));
    const auto back = ParseScopeFile(Bytes(bytes));
    ASSERT_TRUE(back.Ok()) << back.Text();
    EXPECT_EQ(EncodeScopeFile(back.Value()), bytes);
    EXPECT_EQ(back.Value().channels[0].model, 4);
    EXPECT_EQ(back.Value().y[3][1], 1e6);
}

TEST(ScopeFileBytes, everyCutLengthIsRefusedWithNothingLoaded)
{
    const auto bytes = EncodeScopeFile(TwoPoints());
    for (size_t len = 0; len < bytes.size(); ++len) {
        // A copy of exactly len bytes, so ASan sees any read past it.
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(len));
        const auto r = ParseScopeFile(Bytes(cut));
        EXPECT_EQ(r.Code(), kScopeFileShort) << len;
        EXPECT_THROW(static_cast<void>(r.Value()), std::bad_variant_access) << len;
    }
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(ParseScopeFile(Bytes(longer)).Code(), kScopeFileBadFormat);
}

TEST(ScopeFileBytes, countsIndexesAndNumbersAreChecked)
{
    const auto good = EncodeScopeFile(TwoPoints());
    const auto patched = [&](size_t at, std::vector<uint8_t> value) {
        auto b = good;
        std::copy(value.begin(), value.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return ParseScopeFile(Bytes(b));
    };
    EXPECT_EQ(patched(0, {0xF2}).Text(), "magic");
    EXPECT_EQ(patched(8, {16}).Text(), "time span index");
    EXPECT_EQ(patched(28 + 22, {17}).Text(), "offset index");
    EXPECT_EQ(patched(28 + 26, {0xFF, 0xFF, 0xFF, 0xFF}).Text(), "division index");
    EXPECT_EQ(patched(28 + 18, {0xFF, 0xFF, 0xFF, 0xFF}).Text(), "address index");
    EXPECT_EQ(patched(28 + 4, {0x00, 0x01}).Text(), "station");
    EXPECT_EQ(patched(148, {0xFF, 0xFF, 0xFF, 0x7F}).Code(), kScopeFileShort);
    EXPECT_EQ(patched(148, {0xFF, 0xFF, 0xFF, 0xFF}).Text(), "point count");
    EXPECT_EQ(patched(148, {1}).Text(), "trailing bytes");
    EXPECT_EQ(patched(152 + 16 + 8, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}).Text(), "y value");  // +inf
    // NaN is a missing sample: accepted and kept.
    const Result<ScopePicture> missing = patched(152 + 16 + 8, {0, 0, 0, 0, 0, 0, 0xF8, 0x7F});
    ASSERT_TRUE(missing.Ok());
    EXPECT_TRUE(std::isnan(missing.Value().y[0][1]));
    EXPECT_EQ(patched(152, {0, 0, 0, 0, 0, 0, 0xF8, 0x7F}).Text(), "x value");  // NaN time
    EXPECT_EQ(patched(152, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}).Text(), "x value");  // +inf
    EXPECT_EQ(patched(12, {0, 0, 0, 0, 0, 0, 0xF0, 0xFF}).Text(), "y range");
}

TEST(ScopeFileBytes, unsupportedModelIsStoredAsNone)
{
    ScopePicture p = TwoPoints();
    p.channels[0].model = 7;
    const auto r = ParseScopeFile(Bytes(EncodeScopeFile(p)));
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.Value().channels[0].model, 255);
    EXPECT_EQ(r.Value().channels[0].version, 0);
}

TEST(ScopeFileSave, replacesAtomicallyAndReportsFailures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.sco");
    const Result<void> saved = SaveScopeFile(path, TwoPoints());
    ASSERT_TRUE(saved.Ok()) << saved.Text();
    EXPECT_EQ(QFile(path).size(), 232);
    const auto r = LoadScopeFile(path);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.Value().elapsed, 75);
    // Only the target appears in the folder: no temporary file left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.sco"});

    const Result<void> refused = SaveScopeFile(dir.filePath("missing/b.sco"), TwoPoints());
    EXPECT_FALSE(refused.Ok());
    EXPECT_FALSE(refused.Text().empty());

    QFile cut(dir.filePath("cut.sco"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(QByteArray(100, '\0'));
    cut.close();
    const Result<ScopePicture> shortFile = LoadScopeFile(cut.fileName());
    EXPECT_EQ(shortFile.Code(), kScopeFileShort);
    EXPECT_NE(shortFile.Text().find("past its end"), std::string::npos) << shortFile.Text();
    const Result<ScopePicture> none = LoadScopeFile(dir.filePath("none.sco"));
    EXPECT_EQ(none.Code(), kScopeFileShort);
    EXPECT_FALSE(none.Text().empty());
}

TEST(RecordFileLines, decimalPointAndCrLfUnderACommaLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    bool haveComma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    QTemporaryDir locales;
    if (!haveComma) {
        // Build one from the system's locale sources when none is installed.
        QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")});
        qputenv("LOCPATH", locales.path().toLocal8Bit());
        haveComma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    if (haveComma) {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.2f", 1.5);
        EXPECT_STREQ(probe, "1,50");  // the locale really has a comma
    }
    QTemporaryDir dir;
    RecordFile file;
    ASSERT_TRUE(file.Open(dir.filePath("rec.csv")));
    ASSERT_TRUE(file.WriteLine(Row({12.34, 0.0, 0.0, 0.0}), false));
    // Readable after the tick, before closing.
    QFile peek(file.Path());
    ASSERT_TRUE(peek.open(QIODevice::ReadOnly));
    EXPECT_EQ(peek.readAll(), QByteArray("12.34, 0.00, 0.00, 0.00\r\n"));
    ASSERT_TRUE(file.WriteLine(Row({-1.005, 1e5, -0.0, 3.999}), false));
    peek.seek(0);
    EXPECT_EQ(peek.readAll(), QByteArray("12.34, 0.00, 0.00, 0.00\r\n-1.00, 100000.00, -0.00, 4.00\r\n"));
    file.Close();
    std::setlocale(LC_NUMERIC, saved.c_str());
    qunsetenv("LOCPATH");
    if (!haveComma)
        GTEST_SKIP() << "no comma-decimal locale installed; the bytes were checked in the C locale";
}

TEST(RecordFileLines, anExistingRecordingIsNeverReplaced)
{
    QTemporaryDir dir;
    const QString wanted = dir.filePath("scope.csv");
    RecordFile first;
    ASSERT_TRUE(first.Open(wanted));
    ASSERT_TRUE(first.WriteLine(Row({1, 2, 3, 4}), false));
    first.Close();
    RecordFile second;
    ASSERT_TRUE(second.Open(wanted));
    EXPECT_EQ(second.Path(), dir.filePath("scope-1.csv"));
    second.Close();
    QFile kept(wanted);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("1.00, 2.00, 3.00, 4.00\r\n"));
    EXPECT_EQ(RecordFile::FreePath(wanted), dir.filePath("scope-2.csv"));
}

TEST(RecordFileLines, aFolderThatIsNotThereAndAClosedFileFailWithTheFilesError)
{
    QTemporaryDir dir;
    RecordFile file;
    const Result<void> opened = file.Open(dir.filePath("none/rec.csv"));
    EXPECT_EQ(opened.Code(), QFileDevice::OpenError);
    EXPECT_FALSE(opened.Text().empty());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.WriteLine(Row({1, 2, 3, 4}), false).Code(), QFileDevice::WriteError);
    EXPECT_EQ(file.WriteHeader({}).Code(), QFileDevice::WriteError);
}

TEST(RecordFileLines, timeStampedLinesCarryIsoTimeAndElapsedSeconds)
{
    const QDateTime t(QDate(2026, 3, 4), QTime(5, 6, 7, 800), Qt::UTC);
    RecordRow row = Row({1, 2, 3, 4});
    row.time = t;
    row.elapsed = 12.3456;
    row.repeated[1] = row.repeated[3] = true;
    // Elapsed to the millisecond; a missing value is an empty field; repeated channels close the line.
    row.values[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(RecordFile::FormatStampedLine(row),
              "2026-03-04T05:06:07.800Z, 12.346, 1.00, 2.00, , 4.00, CH2 CH4\r\n");
    EXPECT_EQ(RecordFile::FormatLine(row), "1.00, 2.00, , 4.00\r\n");
    EXPECT_EQ(
        RecordFile::FormatHeader({RecordFile::Column{"1:QM-A20 Output Current", "A"}, {}, {}, {"Fault", ""}}),
        "time, elapsed [s], Ch1 1:QM-A20 Output Current [A], Ch2, Ch3, Ch4 Fault, repeated\r\n");
}

TEST(ScopeSaveNames, theDialogProposesTheCurrentNameInTheFolderAsked)
{
    // Save As of an opened file: its own name in its own folder.
    EXPECT_EQ(ProposedFileName({}, "/data/runs/pump.sco", ".sco"), "/data/runs/pump.sco");
    // A picture of it: the same name, the picture's extension, the pictures' folder; a name
    // with dots keeps all but the last suffix.
    EXPECT_EQ(ProposedFileName("/data/pictures", "/data/runs/pump.sco", ".png"), "/data/pictures/pump.png");
    EXPECT_EQ(ProposedFileName("/data/pictures", "/data/runs/line.2.sco", ".svg"),
              "/data/pictures/line.2.svg");
    EXPECT_EQ(ProposedFileName({}, "/data/runs/pump.sco", ".jpg"), "/data/runs/pump.jpg");
    // A new run has no name yet: only the folder.
    EXPECT_EQ(ProposedFileName("/data/runs", {}, ".sco"), "/data/runs");
    EXPECT_EQ(ProposedFileName({}, {}, ".sco"), "");
}
