#include "report/ReportBuilder.h"

#include "catalogue/MonitorItems.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"
#include "paramdb/TextCodec.h"
#include "paramdb/UserGroup.h"

#include <QFile>

namespace vm {

namespace {

constexpr int kFirstColumn = 2;
constexpr int kLastColumn = 11;

struct Style {
    QColor fill;
    QColor ink = Qt::black;
    bool bold = false;
    bool italic = false;
    bool boxed = false;
};

// Writes a text over `columns` columns from `column`, styling every cell of the area.
void Put(ReportSheet& sheet, int row, int column, int columns, const QString& text, const Style& style)
{
    for (int c = column; c < column + columns; ++c) {
        ReportCell& cell = sheet.Cell(row, c);
        cell.fill = style.fill;
        cell.ink = style.ink;
        cell.bold = style.bold;
        cell.italic = style.italic;
        cell.boxed = style.boxed;
    }
    sheet.Cell(row, column).text = text;
    sheet.Merge(row, column, 1, columns);
}

Style LabelStyle()
{
    return {ReportBuilder::LabelFill(), Qt::black, true, false, true};
}

Style RowStyle(const CItem& item)
{
    // Grey and red alone are lost on a black-and-white printer, so unread values are also set in
    // italics and failed ones in bold.
    return {QColor(), ReportBuilder::StatusInk(item), item.valueStatus == 2, item.valueStatus == 0, true};
}

// Like Put, for a cell that spreadsheets get as a number when its text is one.
void PutNumeric(ReportSheet& sheet, int row, int column, int columns, const QString& text, const Style& style)
{
    Put(sheet, row, column, columns, text, style);
    sheet.Cell(row, column).numeric = true;
}

struct Caption {
    int column;
    int columns;
    const char* text;
};

// A section's bold title across the sheet, and its column captions below; returns the next row.
int PutSectionHead(ReportSheet& sheet, int row, const QString& title, std::initializer_list<Caption> captions)
{
    Style bold;
    bold.bold = true;
    Put(sheet, row, kFirstColumn, kLastColumn - kFirstColumn + 1, title, bold);
    const Style label = LabelStyle();
    for (const Caption& c : captions)
        Put(sheet, row + 1, c.column, c.columns, QString::fromLatin1(c.text), label);
    return row + 2;
}

// Texts of the data file are Windows-1252.
QString Text(const std::string& s)
{
    return QString::fromStdString(Cp1252ToUtf8(s));
}

}  // namespace

const QColor& ReportBuilder::LabelFill()
{
    static const QColor fill(189, 255, 148);
    return fill;
}

QColor ReportBuilder::StatusInk(const CItem& item)
{
    switch (item.valueStatus) {
    case 0:
        return QColor(153, 153, 153);
    case 2:
        return QColor(255, 51, 51);
    case 1:
        if (item.value != item.defaultValue)
            return QColor(0, 0, 255);
        break;
    default:
        break;
    }
    return QColor(Qt::black);
}

ReportSheet ReportBuilder::Build(const ReportNode& node, const ReportHeaderForm& header,
                                 const QDateTime& now) const
{
    ReportSheet sheet;
    const std::shared_ptr<ParameterData> data = source_.ReportData();
    if (!data || !data->IsLoaded())
        return sheet;
    const CCustom* custom = nullptr;
    if (node.kind == ReportNodeKind::UserGroup) {
        custom = source_.ReportUserGroup(node.name);
        if (!custom)
            return sheet;
    }

    WriteHeader(sheet, header, now);
    int row = kFirstSectionRow;
    switch (node.kind) {
    case ReportNodeKind::Group:
        if (const CGroup* group = data->FindGroup(node.name))
            row = WriteGroup(sheet, row, *group);
        break;
    case ReportNodeKind::UserGroup:
        row = WriteUserGroup(sheet, row, *custom);
        break;
    case ReportNodeKind::AllGroups:
        for (const auto& group : data->Groups())
            row = WriteGroup(sheet, row, *group);
        break;
    }
    // Sized from what was written, trailing blank rows included.
    sheet.EnsureRows(row - 1);
    return sheet;
}

void ReportBuilder::WriteHeader(ReportSheet& sheet, const ReportHeaderForm& header,
                                const QDateTime& now) const
{
    sheet.EnsureRows(kFirstSectionRow - 1);
    const bool online = source_.ReportOnline();
    const int station = source_.ReportStation();
    const StationRecord& record = host_.Record(station);
    const QString model = Text(FormatStationValue(record, 0, record.model));
    const QString version = Text(FormatStationValue(record, 3, record.version));

    const Style label = LabelStyle();
    const Style value{QColor(), Qt::black, false, false, true};
    const QString texts[4][4] = {
        {QStringLiteral("Company"), header.company, QStringLiteral("Division"), header.division},
        {QStringLiteral("Date"), now.toString(QString::fromLatin1(kDateFormat)), QStringLiteral("Author"),
         header.author},
        {QStringLiteral("Model"), online ? QStringLiteral("%1 : %2").arg(station).arg(model) : model,
         QStringLiteral("Version"), QStringLiteral("Ver") + version},
        {QStringLiteral("Device Name"), online ? DeviceName() : QString(), QStringLiteral("Mode"),
         online ? QStringLiteral("ON-LINE") : QStringLiteral("OFF-LINE")},
    };
    for (int i = 0; i < 4; ++i) {
        const int row = 2 + i;
        Put(sheet, row, 2, 2, texts[i][0], label);
        Put(sheet, row, 4, 3, texts[i][1], value);
        Put(sheet, row, 7, 2, texts[i][2], label);
        Put(sheet, row, 9, 3, texts[i][3], value);
    }
}

int ReportBuilder::WriteGroup(ReportSheet& sheet, int row, const CGroup& group) const
{
    const int titleRow = row;
    row = PutSectionHead(
        sheet, row, QStringLiteral("[ Parameter Group Name : %1 ]").arg(Text(group.name)),
        {{2, 1, "Address"}, {3, 3, "Parameter Name"}, {6, 2, "Value"}, {8, 2, "Default"}, {10, 2, "Unit"}});
    for (const auto& item : group.items) {
        const Style style = RowStyle(*item);
        PutNumeric(sheet, row, 2, 1, QString::number(item->Code()), style);
        Put(sheet, row, 3, 3, Text(item->displayName), style);
        PutNumeric(sheet, row, 6, 2, Text(item->ValueText()), style);
        PutNumeric(sheet, row, 8, 2, Text(item->DefaultText()), style);
        Put(sheet, row, 10, 2, Text(item->UnitText()), style);
        ++row;
    }
    sheet.AddSection({titleRow, row - 1});
    return row + 2;
}

int ReportBuilder::WriteUserGroup(ReportSheet& sheet, int row, const CCustom& custom) const
{
    const int titleRow = row;
    // The name is the file's, in the system's encoding.
    row = PutSectionHead(sheet, row,
                         QStringLiteral("[ User Group Name : %1 ]")
                             .arg(QFile::decodeName(QByteArray::fromStdString(custom.Name()))),
                         {{2, 1, "Group Name"},
                          {3, 1, "Address"},
                          {4, 3, "Parameter Name"},
                          {7, 2, "Value"},
                          {9, 2, "Default"},
                          {11, 1, "Unit"}});
    const std::shared_ptr<ParameterData> data = source_.ReportData();
    for (size_t i = 0; i < custom.Count(); ++i) {
        const CItem* item = data->FindItem(custom.EntryAt(i)->address);
        if (!item)
            continue;
        const Style style = RowStyle(*item);
        Put(sheet, row, 2, 1, item->Group() ? Text(item->Group()->name) : QString(), style);
        PutNumeric(sheet, row, 3, 1, QString::number(item->Code()), style);
        Put(sheet, row, 4, 3, Text(item->displayName), style);
        PutNumeric(sheet, row, 7, 2, Text(item->ValueText(item->value, true)), style);
        PutNumeric(sheet, row, 9, 2, Text(item->DefaultText()), style);
        Put(sheet, row, 11, 1, Text(item->UnitText()), style);
        ++row;
    }
    sheet.AddSection({titleRow, row - 1});
    return row + 2;
}

QString ReportBuilder::DeviceName() const
{
    const int station = source_.ReportStation();
    return station >= 0 && station < kFirstOfflineSlot ? host_.DeviceName(station) : QString();
}

void ReportBuilder::RefreshHeader(ReportSheet& sheet, const ReportHeaderForm& header)
{
    if (sheet.RowCount() < 5)
        return;
    sheet.Cell(2, 4).text = header.company;
    sheet.Cell(2, 9).text = header.division;
    sheet.Cell(3, 9).text = header.author;
}

void ReportBuilder::RefreshDeviceName(ReportSheet& sheet) const
{
    if (sheet.RowCount() < 5 || !source_.ReportOnline())
        return;
    sheet.Cell(5, 4).text = DeviceName();
}

}  // namespace vm
