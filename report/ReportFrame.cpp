#include "report/ReportFrame.h"

#include "frames/ToolHost.h"
#include "frames/ToolKinds.h"
#include "paramdb/MessageSink.h"
#include "platform/Settings.h"
#include "platform/WindowPlacement.h"
#include "report/ReportBuilder.h"
#include "report/ReportHeaderDialog.h"
#include "report/ReportPrinter.h"
#include "report/ReportView.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QPageSize>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

namespace vm {

CReportFrame::CReportFrame(ToolHost& host, ReportSource& source, const ReportNode& node)
    : CFloatFrame(host, kKindReport, source.ReportStation()), source_(&source), node_(node)
{
    setWindowTitle(QString::fromLatin1(kCaption));
    view_ = new CReportView(model_, this);
    setCentralWidget(view_);
    CreateCommands();
    statusBar();
    resize(900, 600);
}

CReportFrame::~CReportFrame() = default;

QString CReportFrame::PlacementName(int station)
{
    return QStringLiteral("%1-%2").arg(kKindReport).arg(station);
}

CReportFrame* CReportFrame::Report(ToolHost& host, ReportSource& source, const ReportNode& node,
                                   CReportFrame* existing)
{
    if (existing) {
        if (existing->isMinimized())
            existing->showNormal();
        existing->raise();
        existing->activateWindow();
        existing->node_ = node;
        existing->Rebuild();
        return existing;
    }
    auto* frame = new CReportFrame(host, source, node);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        RestorePlacement(s, PlacementName(frame->Station()), *frame);
    }
    frame->InitialUpdate();
    frame->show();
    return frame;
}

void CReportFrame::InitialUpdate()
{
    Rebuild();
}

void CReportFrame::Rebuild()
{
    if (!source_)
        return;
    QSettings s(kCompanyKey, kApplicationKey);
    model_.SetSheet(ReportBuilder(Host(), *source_)
                        .Build(node_, ReportHeaderForm::Load(s), QDateTime::currentDateTime()));
}

void CReportFrame::HeaderChanged()
{
    QSettings s(kCompanyKey, kApplicationKey);
    ReportSheet sheet = model_.Sheet();
    ReportBuilder::RefreshHeader(sheet, ReportHeaderForm::Load(s));
    for (const auto& [row, column] : {std::pair{2, 4}, {2, 9}, {3, 9}})
        if (const ReportCell* cell = sheet.CellAt(row, column))
            model_.SetText(row, column, cell->text);
}

void CReportFrame::DeviceNameChanged(int station)
{
    if (!source_ || station != Station())
        return;
    ReportSheet sheet = model_.Sheet();
    ReportBuilder(Host(), *source_).RefreshDeviceName(sheet);
    if (const ReportCell* cell = sheet.CellAt(5, 4))
        model_.SetText(5, 4, cell->text);
}

bool CReportFrame::AboutToClose()
{
    {
        QSettings s(kCompanyKey, kApplicationKey);
        SavePlacement(s, PlacementName(Station()), *this);
    }
    if (ReportSource* source = std::exchange(source_, nullptr))
        source->ReportClosed();
    deleteLater();
    return true;
}

void CReportFrame::ShowError(const QString& text)
{
    Messages().Show(MessageKind::Error, text.toStdString(), kCaption);
}

bool CReportFrame::ExportTo(const ReportExportTarget& target)
{
    const Result<void> saved = ReportExport::Save(model_.Sheet(), target);
    if (!saved)
        ShowError(QString::fromStdString(saved.Text()));
    else
        statusBar()->showMessage(QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(target.path)),
                                 5000);
    return saved.Ok();
}

bool CReportFrame::PrintTo(QPrinter& printer)
{
    printer.setDocName(ReportPrinter::NextJobName());
    ReportPrinter::SetMargins(printer);
    if (!ReportPrinter(model_.Sheet()).Print(printer).Ok()) {
        ShowError(QStringLiteral("The report could not be printed on %1.").arg(printer.printerName()));
        return false;
    }
    return true;
}

void CReportFrame::OnExport()
{
    QSettings s(kCompanyKey, kApplicationKey);
    const int stored = ReportExport::ValidFilterIndex(s.value(kFilterIndexKey, 0).toInt());
    QPointer<CReportFrame> self(this);
    QFileDialog dialog(this, QStringLiteral("Report File Export"), s.value(kExportDirKey).toString(),
                       ReportExport::Filters());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectNameFilter(ReportExport::FilterName(stored));
    if (RunModal(dialog) != QDialog::Accepted || !self || dialog.selectedFiles().isEmpty())
        return;
    const QStringList filters = ReportExport::Filters().split(QStringLiteral(";;"));
    const int filter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    const ReportExportTarget target = ReportExport::Resolve(dialog.selectedFiles().first(), filter);
    s.setValue(kExportDirKey, QFileInfo(target.path).absolutePath());
    s.setValue(kFilterIndexKey, ReportExport::ValidFilterIndex(filter));
    ExportTo(target);
}

void CReportFrame::OnExportPdf()
{
    QSettings s(kCompanyKey, kApplicationKey);
    QPointer<CReportFrame> self(this);
    QFileDialog dialog(this, QStringLiteral("Export PDF"), s.value(kExportDirKey).toString(),
                       QStringLiteral("PDF File (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (RunModal(dialog) != QDialog::Accepted || !self || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().first();
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    s.setValue(kExportDirKey, QFileInfo(path).absolutePath());
    ExportTo({path, ReportFormat::Pdf});
}

void CReportFrame::OnPrint()
{
    QPrinter printer(QPrinter::HighResolution);
    QPointer<CReportFrame> self(this);
    QPrintDialog dialog(&printer, this);
    if (RunModal(dialog) != QDialog::Accepted || !self)
        return;
    PrintTo(printer);
}

void CReportFrame::OnPrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    ReportPrinter::SetMargins(printer);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
        // The preview shows what was drawn; it has no place for an error.
        static_cast<void>(ReportPrinter(model_.Sheet()).Print(*p));
    });
    RunModal(dialog);
}

void CReportFrame::OnHeader()
{
    QPointer<CReportFrame> self(this);
    if (CReportHeaderDlg::Run(Messages(), this) && self)
        HeaderChanged();
}

void CReportFrame::CreateCommands()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exportAction = AddCommand(file, kCmdExport, QStringLiteral("File &Export..."),
                                       QKeySequence(Qt::CTRL | Qt::Key_E), [this] { OnExport(); });
    AddCommand(file, kCmdExportPdf, QStringLiteral("Export P&DF..."), {}, [this] { OnExportPdf(); });
    file->addSeparator();
    QAction* print = AddCommand(file, kCmdPrint, QStringLiteral("&Print..."),
                                QKeySequence(Qt::CTRL | Qt::Key_P), [this] { OnPrint(); });
    AddCommand(file, kCmdPreview, QStringLiteral("Print Pre&view..."), {}, [this] { OnPrintPreview(); });
    file->addSeparator();
    file->addAction(ExitAction());
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* update = AddCommand(view, kCmdUpdate, QStringLiteral("&Update"),
                                 QKeySequence(Qt::CTRL | Qt::Key_U), [this] { Rebuild(); });
    QAction* header = AddCommand(view, kCmdHeader, QStringLiteral("Report &Header..."),
                                 QKeySequence(Qt::CTRL | Qt::Key_H), [this] { OnHeader(); });

    QToolBar* bar = addToolBar(QStringLiteral("Report"));
    bar->setObjectName(QStringLiteral("ReportToolBar"));
    bar->addAction(exportAction);
    bar->addAction(print);
    bar->addSeparator();
    bar->addAction(update);
    bar->addAction(header);
}

}  // namespace vm
