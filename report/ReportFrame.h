#pragma once
// The parameter report window of one parameter editor.
//
// How the editor uses it (the editor keeps a QPointer<CReportFrame>, at most one):
//   report_ = CReportFrame::Report(Host(), *this, node, report_);   // "&Report": opens or rebuilds
//   if (report_) report_->HeaderChanged();                         // after "Report &Header..." ended OK
//   if (report_) report_->DeviceNameChanged(station);              // the editor's name-change notice
//   if (report_) report_->CloseFrame();                            // first thing when the editor closes
// Whenever the window closes (by the user, by Exit, or by the editor) it saves its placement
// "134-<station>", calls source.ReportClosed() once, and deletes itself later. After that call
// the report never touches the source again, so the source must outlive the window only until then.
// The window is not in the frame list and is not told the main window's notices by it.

#include "frames/FloatFrame.h"
#include "report/ReportExport.h"
#include "report/ReportModel.h"
#include "report/ReportSource.h"

class QPrinter;

namespace vm {

class CReportView;

class CReportFrame : public CFloatFrame {
    Q_OBJECT
public:
    static constexpr int kCmdHeader = 32827;
    static constexpr int kCmdExport = 32828;
    static constexpr int kCmdPrint = 32829;
    static constexpr int kCmdUpdate = 32830;
    // Numbers of the commands only this window has.
    static constexpr int kCmdExportPdf = 32831;
    static constexpr int kCmdPreview = 32832;
    static constexpr const char* kCaption = "Parameter Report";
    static constexpr const char* kExportDirKey = "Main/ReportExport File Dir";
    static constexpr const char* kFilterIndexKey = "Main/ReportFile Filter Index";

    // Without `existing`: creates the window for the node, restores its placement, builds and shows
    // it. With it: brings it to the top (restored if minimised), takes the node and rebuilds.
    static CReportFrame* Report(ToolHost& host, ReportSource& source, const ReportNode& node,
                                CReportFrame* existing);
    static QString PlacementName(int station);

    ~CReportFrame() override;

    // The header texts from the settings again.
    void HeaderChanged();
    // The device name again, when it is this report's station.
    void DeviceNameChanged(int station);
    // "&Update": the whole report again from the editor's data.
    void Rebuild();

    const ReportNode& Node() const { return node_; }
    ReportModel& Model() { return model_; }
    CReportView* View() const { return view_; }

    // Saves the sheet; a failure is shown to the user and returns false.
    bool ExportTo(const ReportExportTarget& target);
    // Prints on a printer set up by the caller; the job gets the next "VRMN Report%d" name.
    bool PrintTo(QPrinter& printer);

    // The commands, as the menu and tool bar run them.
    void OnExport();
    void OnExportPdf();
    void OnPrint();
    void OnPrintPreview();
    void OnHeader();

protected:
    void InitialUpdate() override;
    bool AboutToClose() override;
    void OnInvNameChanged(int station) override { DeviceNameChanged(station); }

private:
    CReportFrame(ToolHost& host, ReportSource& source, const ReportNode& node);
    void CreateCommands();
    void ShowError(const QString& text);

    ReportSource* source_;  // null once the window has said it closed
    ReportNode node_;
    ReportModel model_;
    CReportView* view_ = nullptr;
};

}  // namespace vm
