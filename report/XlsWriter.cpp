#include "report/XlsWriter.h"

#include "base/LittleEndian.h"
#include "report/ReportSheet.h"

#include <cerrno>
#include <map>
#include <tuple>
#include <vector>

namespace vm {

namespace {

constexpr int kMaxRecordData = 8224;
constexpr uint16_t kBof = 0x0809;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kWindow1 = 0x003D;
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kStyle = 0x0293;
constexpr uint16_t kPalette = 0x0092;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kExtSst = 0x00FF;
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kColInfo = 0x007D;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kWindow2 = 0x023E;
constexpr uint16_t kMergedCells = 0x00E5;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kSupBook = 0x01AE;
constexpr uint16_t kExternSheet = 0x0017;
constexpr uint16_t kName = 0x0018;
constexpr uint16_t kDefaultRowHeight = 0x0225;
constexpr uint16_t kWsBool = 0x0081;
constexpr uint16_t kFooter = 0x0015;
constexpr uint16_t kLeftMargin = 0x0026;
constexpr uint16_t kRightMargin = 0x0027;
constexpr uint16_t kTopMargin = 0x0028;
constexpr uint16_t kBottomMargin = 0x0029;
constexpr uint16_t kSetup = 0x00A1;
constexpr int kFirstCustomFormat = 164;

constexpr int kPaletteSize = 56;
constexpr int kFirstPaletteIndex = 8;
constexpr uint16_t kAutoColour = 0x7FFF;
constexpr int kStyleXfCount = 15;
constexpr int kDefaultCellXf = 15;
constexpr int kMergesPerRecord = 1026;

class Bytes {
public:
    void U8(int v) { le::Append(data, static_cast<uint8_t>(v)); }
    void U16(int v) { le::Append(data, static_cast<uint16_t>(v)); }
    void U32(uint32_t v) { le::Append(data, v); }
    void Raw(const QByteArray& b) { data.append(b); }
    int Size() const { return static_cast<int>(data.size()); }
    QByteArray data;
};

bool Compressible(const QString& s)
{
    for (QChar ch : s)
        if (ch.unicode() > 0xFF)
            return false;
    return true;
}

// Characters of a string in its BIFF8 form: one byte each when every character fits, else UTF-16LE.
QByteArray Chars(const QString& s, bool compressed)
{
    QByteArray out;
    for (QChar ch : s) {
        if (compressed)
            le::Append(out, static_cast<uint8_t>(ch.unicode()));
        else
            le::Append(out, ch.unicode());
    }
    return out;
}

// A string with an 8-bit length (font and sheet names).
QByteArray ShortString(const QString& s)
{
    const bool compressed = Compressible(s);
    Bytes b;
    b.U8(static_cast<int>(s.size()));
    b.U8(compressed ? 0 : 1);
    b.Raw(Chars(s, compressed));
    return b.data;
}

void Record(Bytes& out, uint16_t id, const QByteArray& body)
{
    out.U16(id);
    out.U16(static_cast<int>(body.size()));
    out.Raw(body);
}

QByteArray Bof(int type)
{
    Bytes b;
    b.U16(0x0600);
    b.U16(type);
    b.U16(0x0DBB);
    b.U16(0x07CC);
    b.U32(0);
    b.U32(0x0006);
    return b.data;
}

struct FontKey {
    bool bold;
    bool italic;
    int colour;
    auto operator<=>(const FontKey&) const = default;
};

struct XfKey {
    int font;
    int fill;  // palette index, or -1
    bool boxed;
    int format;  // number format index, 0 for General
    auto operator<=>(const XfKey&) const = default;
};

// Colours, fonts and cell formats the sheet needs, numbered as the workbook refers to them.
class StyleTable {
public:
    explicit StyleTable(const ReportSheet& sheet)
    {
        Colour(QColor(Qt::black));
        for (int r = 1; r <= sheet.RowCount(); ++r)
            for (int c = 1; c <= ReportSheet::kColumns; ++c)
                Xf(*sheet.CellAt(r, c));
    }

    int Colour(const QColor& colour)
    {
        const QRgb rgb = colour.rgb() & 0xFFFFFF;
        for (size_t i = 0; i < palette.size(); ++i)
            if (palette[i] == rgb)
                return kFirstPaletteIndex + static_cast<int>(i);
        if (palette.size() >= kPaletteSize)
            return kFirstPaletteIndex;  // black; a report never uses this many colours
        palette.push_back(rgb);
        return kFirstPaletteIndex + static_cast<int>(palette.size()) - 1;
    }

    int Xf(const ReportCell& cell)
    {
        FontKey fk{cell.bold, cell.italic, Colour(cell.ink)};
        auto f = fontIndex.find(fk);
        if (f == fontIndex.end()) {
            fonts.push_back(fk);
            // Font index 4 does not exist in the file format: the fifth font record is number 5.
            const int index = static_cast<int>(fonts.size()) + 4;
            f = fontIndex.emplace(fk, index).first;
        }
        const std::optional<ReportNumber> number = NumberOf(cell);
        XfKey xk{f->second, cell.fill.isValid() ? Colour(cell.fill) : -1, cell.boxed,
                 number ? kFirstCustomFormat + number->decimals : 0};
        auto x = xfIndex.find(xk);
        if (x == xfIndex.end()) {
            xfs.push_back(xk);
            x = xfIndex.emplace(xk, kDefaultCellXf + static_cast<int>(xfs.size())).first;
        }
        return x->second;
    }

    std::vector<QRgb> palette;
    std::vector<FontKey> fonts;
    std::vector<XfKey> xfs;

private:
    std::map<FontKey, int> fontIndex;
    std::map<XfKey, int> xfIndex;
};

QByteArray FontRecord(bool bold, bool italic, int colour)
{
    Bytes b;
    b.U16(200);  // 10 pt in twentieths of a point
    b.U16(italic ? 0x0002 : 0);
    b.U16(colour);
    b.U16(bold ? 700 : 400);
    b.U16(0);
    b.U8(0);
    b.U8(2);  // swiss family
    b.U8(0);
    b.U8(0);
    b.Raw(ShortString(QStringLiteral("Arial")));
    return b.data;
}

QByteArray XfRecord(int font, bool style, int fill, bool boxed, int format = 0)
{
    Bytes b;
    b.U16(font);
    b.U16(format);
    b.U16(style ? 0xFFF5 : 0x0001);  // locked; style records have no parent
    b.U8(0x11);                      // left, vertically centred
    b.U8(0);
    b.U8(0);
    b.U8(style ? 0 : 0xF8);          // font, alignment, border, pattern and protection are our own
    const int line = boxed ? 1 : 0;  // thin
    const int ink = boxed ? kFirstPaletteIndex : 0;
    b.U32(static_cast<uint32_t>(line | line << 4 | line << 8 | line << 12 | ink << 16 | ink << 23));
    b.U32(static_cast<uint32_t>(ink | ink << 7 | (fill >= 0 ? 1 : 0) << 26));
    b.U16((fill >= 0 ? fill : 64) | 65 << 7);
    return b.data;
}

// "0", "0.0", "0.00", ...: the decimals the report's text shows.
QString NumberFormat(int decimals)
{
    return decimals > 0 ? QStringLiteral("0.") + QString(decimals, QLatin1Char('0')) : QStringLiteral("0");
}

QByteArray Double(double v)
{
    QByteArray b;
    le::Append(b, v);
    return b;
}

// A string with a 16-bit length (number formats, header and footer texts).
QByteArray LongString(const QString& s)
{
    const bool compressed = Compressible(s);
    Bytes b;
    b.U16(static_cast<int>(s.size()));
    b.U8(compressed ? 0 : 1);
    b.Raw(Chars(s, compressed));
    return b.data;
}

// Column width in 1/256 of the default character width of 7 pixels; the stored width includes
// the cell padding, so the column is as wide as the window's.
int ColumnUnits(int twips)
{
    const double pixels = twips * 96.0 / 1440.0;
    return static_cast<int>(pixels / 7.0 * 256.0 + 0.5);
}

// The shared string table with its CONTINUE records, and the index into it.
struct SharedStrings {
    std::vector<QString> strings;
    std::map<QString, int> index;
    int total = 0;

    int Add(const QString& s)
    {
        ++total;
        auto it = index.find(s);
        if (it != index.end())
            return it->second;
        strings.push_back(s);
        return index.emplace(s, static_cast<int>(strings.size()) - 1).first->second;
    }

    // Appends SST and EXTSST to `out`; `out` is the whole stream, so bucket offsets are absolute.
    void Write(Bytes& out) const
    {
        struct Bucket {
            int streamPos;
            int recordOffset;
        };
        std::vector<Bucket> buckets;
        constexpr int kBucketSize = 8;

        std::vector<std::pair<uint16_t, QByteArray>> records;
        Bytes body;
        uint16_t id = kSst;
        body.U32(static_cast<uint32_t>(total));
        body.U32(static_cast<uint32_t>(strings.size()));
        int streamStart = out.Size();  // position of the current record's header
        auto flush = [&] {
            records.emplace_back(id, body.data);
            streamStart += 4 + body.Size();
            body = Bytes();
            id = kContinue;
        };
        for (size_t i = 0; i < strings.size(); ++i) {
            const QString& s = strings[i];
            const bool compressed = Compressible(s);
            const int charSize = compressed ? 1 : 2;
            // The length and flags may not be split from the first character.
            if (body.Size() + 3 + charSize > kMaxRecordData)
                flush();
            if (i % kBucketSize == 0)
                buckets.push_back({streamStart + 4 + body.Size(), 4 + body.Size()});
            body.U16(static_cast<int>(s.size()));
            body.U8(compressed ? 0 : 1);
            const QByteArray chars = Chars(s, compressed);
            int done = 0;
            while (done < chars.size()) {
                int room = (kMaxRecordData - body.Size()) / charSize * charSize;
                if (room == 0) {
                    flush();
                    body.U8(compressed ? 0 : 1);  // a continued string repeats its flags
                    room = (kMaxRecordData - body.Size()) / charSize * charSize;
                }
                const int n = std::min(room, static_cast<int>(chars.size()) - done);
                body.Raw(chars.mid(done, n));
                done += n;
            }
        }
        records.emplace_back(id, body.data);
        for (const auto& [rid, data] : records)
            Record(out, rid, data);

        Bytes ext;
        ext.U16(kBucketSize);
        for (const Bucket& b : buckets) {
            ext.U32(static_cast<uint32_t>(b.streamPos));
            ext.U16(b.recordOffset);
            ext.U16(0);
        }
        Record(out, kExtSst, ext.data);
    }
};

// Rows printed again at the top of every page: a single section's title and column titles; with
// several sections, whose titles differ, their common column titles only.
std::optional<std::pair<int, int>> PrintTitleRows(const ReportSheet& sheet)
{
    const auto& sections = sheet.Sections();
    if (sections.empty())
        return std::nullopt;
    const int title = sections.front().titleRow;
    return sections.size() == 1 ? std::pair{title, title + 1} : std::pair{title + 1, title + 1};
}

// The built-in name Print_Titles of the one sheet, with the link records it refers through.
void WritePrintTitles(Bytes& out, int firstRow, int lastRow)
{
    {
        Bytes b;
        b.U16(1);       // sheets in this workbook
        b.U16(0x0401);  // internal references
        Record(out, kSupBook, b.data);
    }
    {
        Bytes b;
        b.U16(1);
        b.U16(0);  // the SUPBOOK above
        b.U16(0);  // first and last sheet
        b.U16(0);
        Record(out, kExternSheet, b.data);
    }
    Bytes b;
    b.U16(0x0020);  // built-in
    b.U8(0);
    b.U8(1);    // name length: the one code below
    b.U16(11);  // formula size
    b.U16(0);
    b.U16(1);  // local to sheet 1
    for (int i = 0; i < 4; ++i)
        b.U8(0);
    b.U8(0);     // compressed name
    b.U8(0x07);  // Print_Titles
    b.U8(0x3B);  // ptgArea3d: whole rows, absolute
    b.U16(0);
    b.U16(firstRow - 1);
    b.U16(lastRow - 1);
    b.U16(0);
    b.U16(0xFF);
    Record(out, kName, b.data);
}

// Margins as the printed report has them, A4 portrait, as wide as one page, the page text in
// the footer, and rows of the report's height.
void WritePageSetup(Bytes& out)
{
    {
        Bytes b;
        b.U16(0);
        b.U16(ReportSheet::kRowHeight);
        Record(out, kDefaultRowHeight, b.data);
    }
    {
        Bytes b;
        b.U16(0x04C1 | 0x0100);  // the usual flags, and fit to page
        Record(out, kWsBool, b.data);
    }
    Record(out, kFooter, LongString(QStringLiteral("&C&P / &N Page")));
    const double margin = ReportSheet::kPrintMargin / 1440.0;
    for (uint16_t id : {kLeftMargin, kRightMargin, kTopMargin})
        Record(out, id, Double(margin));
    Record(out, kBottomMargin, Double(0.5));
    Bytes b;
    b.U16(9);       // A4
    b.U16(100);     // scale
    b.U16(1);       // first page number
    b.U16(1);       // one page wide
    b.U16(0);       // as many pages tall as needed
    b.U16(0x0002);  // portrait
    b.U16(600);
    b.U16(600);
    b.Raw(Double(0.2));  // header and footer distance
    b.Raw(Double(0.2));
    b.U16(1);
    Record(out, kSetup, b.data);
}

}  // namespace

Result<QByteArray> XlsWriter::WorkbookStream(const ReportSheet& sheet)
{
    if (sheet.RowCount() > kMaxRows)
        return Failure{EFBIG, QStringLiteral("The report has %1 rows; an Excel 97 sheet holds at most %2.")
                                  .arg(sheet.RowCount())
                                  .arg(kMaxRows)
                                  .toStdString()};
    StyleTable styles(sheet);
    SharedStrings sst;
    struct Written {
        int row;
        int column;
        int xf;
        int string;  // -1 for a blank cell or a number
        std::optional<double> number;
    };
    std::vector<Written> cells;
    for (int r = 1; r <= sheet.RowCount(); ++r) {
        for (int c = 1; c <= ReportSheet::kColumns; ++c) {
            const ReportCell& cell = *sheet.CellAt(r, c);
            const bool styled = cell.boxed || cell.fill.isValid();
            const bool text = !cell.text.isEmpty() && !sheet.IsCovered(r, c);
            if (!text && !styled)
                continue;
            const int xf = styles.Xf(cell);
            const std::optional<ReportNumber> number = text ? NumberOf(cell) : std::nullopt;
            if (number)
                cells.push_back({r - 1, c - 1, xf, -1, number->value});
            else
                cells.push_back({r - 1, c - 1, xf, text ? sst.Add(cell.text.left(kMaxTextLength)) : -1, {}});
        }
    }

    Bytes out;
    Record(out, kBof, Bof(0x0005));
    {
        Bytes b;
        b.U16(1200);  // UTF-16
        Record(out, kCodePage, b.data);
    }
    {
        Bytes b;
        for (int v : {0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1, 0x0258})
            b.U16(v);
        Record(out, kWindow1, b.data);
    }
    for (int i = 0; i < 4; ++i)
        Record(out, kFont, FontRecord(false, false, kAutoColour));
    for (const FontKey& f : styles.fonts)
        Record(out, kFont, FontRecord(f.bold, f.italic, f.colour));
    for (int d = 0; d <= 9; ++d)
        for (const XfKey& x : styles.xfs)
            if (x.format == kFirstCustomFormat + d) {
                Bytes b;
                b.U16(x.format);
                b.Raw(LongString(NumberFormat(d)));
                Record(out, kFormat, b.data);
                break;
            }
    for (int i = 0; i < kStyleXfCount; ++i)
        Record(out, kXf, XfRecord(0, true, -1, false));
    Record(out, kXf, XfRecord(0, false, -1, false));
    for (const XfKey& x : styles.xfs)
        Record(out, kXf, XfRecord(x.font, false, x.fill, x.boxed, x.format));
    {
        Bytes b;
        b.U16(0x8000);  // built-in style of XF 0
        b.U8(0);        // Normal
        b.U8(0xFF);
        Record(out, kStyle, b.data);
    }
    {
        Bytes b;
        b.U16(kPaletteSize);
        for (int i = 0; i < kPaletteSize; ++i) {
            const QRgb rgb = i < static_cast<int>(styles.palette.size())
                                 ? styles.palette[static_cast<size_t>(i)]
                                 : qRgb(255, 255, 255);
            b.U8(qRed(rgb));
            b.U8(qGreen(rgb));
            b.U8(qBlue(rgb));
            b.U8(0);
        }
        Record(out, kPalette, b.data);
    }
    const int boundSheetPos = out.Size() + 4;
    {
        Bytes b;
        b.U32(0);  // the sheet's position, filled in below
        b.U8(0);
        b.U8(0);
        b.Raw(ShortString(QString::fromLatin1(kSheetName)));
        Record(out, kBoundSheet, b.data);
    }
    const std::optional<std::pair<int, int>> titles = PrintTitleRows(sheet);
    if (titles)
        WritePrintTitles(out, titles->first, titles->second);
    sst.Write(out);
    Record(out, kEof, {});

    le::Store(reinterpret_cast<uint8_t*>(out.data.data()) + boundSheetPos, static_cast<uint32_t>(out.Size()));
    Record(out, kBof, Bof(0x0010));
    WritePageSetup(out);
    {
        Bytes b;
        const int rows = sheet.RowCount();
        b.U32(0);
        b.U32(static_cast<uint32_t>(rows));
        b.U16(0);
        b.U16(rows > 0 ? ReportSheet::kColumns : 0);
        b.U16(0);
        Record(out, kDimensions, b.data);
    }
    for (int c = 1; c <= ReportSheet::kColumns; ++c) {
        Bytes b;
        b.U16(c - 1);
        b.U16(c - 1);
        b.U16(ColumnUnits(ReportSheet::ColumnWidth(c)));
        b.U16(kDefaultCellXf);
        b.U16(0);
        b.U16(0);
        Record(out, kColInfo, b.data);
    }
    for (const Written& w : cells) {
        Bytes b;
        b.U16(w.row);
        b.U16(w.column);
        b.U16(w.xf);
        if (w.number) {
            b.Raw(Double(*w.number));
            Record(out, kNumber, b.data);
        } else if (w.string >= 0) {
            b.U32(static_cast<uint32_t>(w.string));
            Record(out, kLabelSst, b.data);
        } else {
            Record(out, kBlank, b.data);
        }
    }
    {
        Bytes b;
        b.U16(0x06B6);
        for (int v : {0, 0, 64, 0, 0, 0})
            b.U16(v);
        b.U32(0);
        Record(out, kWindow2, b.data);
    }
    const auto& spans = sheet.Spans();
    for (size_t first = 0; first < spans.size(); first += kMergesPerRecord) {
        const size_t n = std::min(spans.size() - first, static_cast<size_t>(kMergesPerRecord));
        Bytes b;
        b.U16(static_cast<int>(n));
        for (size_t i = first; i < first + n; ++i) {
            const ReportSpan& s = spans[i];
            b.U16(s.row - 1);
            b.U16(s.row + s.rows - 2);
            b.U16(s.column - 1);
            b.U16(s.column + s.columns - 2);
        }
        Record(out, kMergedCells, b.data);
    }
    Record(out, kEof, {});
    return out.data;
}

Result<QByteArray> XlsWriter::CompoundFile(const QByteArray& workbook)
{
    constexpr int kSector = 512;
    constexpr int kMiniStreamCutoff = 4096;
    constexpr uint32_t kFreeSect = 0xFFFFFFFF;
    constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
    constexpr uint32_t kFatSect = 0xFFFFFFFD;
    constexpr uint32_t kNoStream = 0xFFFFFFFF;
    constexpr int kHeaderFatEntries = 109;

    // Padding to the cut-off keeps the stream out of the mini stream; readers stop at its EOF record.
    QByteArray stream = workbook;
    const int padded =
        std::max(kMiniStreamCutoff, (static_cast<int>(stream.size()) + kSector - 1) / kSector * kSector);
    stream.append(QByteArray(padded - stream.size(), '\0'));
    const int streamSectors = padded / kSector;
    int fatSectors = 1;
    while (fatSectors * (kSector / 4) < streamSectors + 1 + fatSectors)
        ++fatSectors;
    if (fatSectors > kHeaderFatEntries)
        return Failure{EFBIG, "The report is too large for an Excel 97 file."};
    const int dirSector = streamSectors;
    const int firstFat = dirSector + 1;

    Bytes header;
    header.Raw(QByteArray::fromHex("D0CF11E0A1B11AE1"));
    header.Raw(QByteArray(16, '\0'));
    header.U16(0x003E);
    header.U16(0x0003);
    header.U16(0xFFFE);
    header.U16(9);
    header.U16(6);
    header.Raw(QByteArray(6, '\0'));
    header.U32(0);
    header.U32(static_cast<uint32_t>(fatSectors));
    header.U32(static_cast<uint32_t>(dirSector));
    header.U32(0);
    header.U32(kMiniStreamCutoff);
    header.U32(kEndOfChain);
    header.U32(0);
    header.U32(kEndOfChain);
    header.U32(0);
    for (int i = 0; i < kHeaderFatEntries; ++i)
        header.U32(i < fatSectors ? static_cast<uint32_t>(firstFat + i) : kFreeSect);

    auto entry = [](Bytes& dir, const QString& name, int type, uint32_t child, uint32_t start,
                    uint32_t size) {
        QByteArray n(64, '\0');
        for (int i = 0; i < name.size(); ++i)
            le::Store(reinterpret_cast<uint8_t*>(n.data()) + 2 * i, name[i].unicode());
        dir.Raw(n);
        dir.U16(name.isEmpty() ? 0 : static_cast<int>(name.size() + 1) * 2);
        dir.U8(type);
        dir.U8(type == 0 ? 0 : 1);  // black
        dir.U32(kNoStream);
        dir.U32(kNoStream);
        dir.U32(child);
        dir.Raw(QByteArray(16 + 4 + 8 + 8, '\0'));
        dir.U32(start);
        dir.U32(size);
        dir.U32(0);
    };
    Bytes dir;
    entry(dir, QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    entry(dir, QStringLiteral("Workbook"), 2, kNoStream, 0, static_cast<uint32_t>(padded));
    entry(dir, QString(), 0, kNoStream, 0, 0);
    entry(dir, QString(), 0, kNoStream, 0, 0);

    Bytes fat;
    for (int i = 0; i < streamSectors; ++i)
        fat.U32(i + 1 < streamSectors ? static_cast<uint32_t>(i + 1) : kEndOfChain);
    fat.U32(kEndOfChain);
    for (int i = 0; i < fatSectors; ++i)
        fat.U32(kFatSect);
    while (fat.Size() < fatSectors * kSector)
        fat.U32(kFreeSect);

    QByteArray file = header.data;
    file.append(stream);
    file.append(dir.data);
    file.append(fat.data);
    return file;
}

Result<QByteArray> XlsWriter::Write(const ReportSheet& sheet)
{
    const Result<QByteArray> stream = WorkbookStream(sheet);
    if (!stream)
        return stream.Why();
    return CompoundFile(stream.Value());
}

}  // namespace vm
