#include "editor/EditorKind.h"

#include "editor/ParaFrame.h"
#include "editor/ParaModeDialog.h"
#include "editor/ParaOnlineSideImpl.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"
#include "report/ReportFrame.h"
#include "report/ReportHeaderDialog.h"

namespace vm {

namespace {

CFloatFrame* OpenEditor(ToolHost& host, int station, const ParaFrameParts& parts)
{
    if (station < 1 || station > kLastOfflineStation)
        return nullptr;
    const bool offline = station >= kFirstOfflineStation;
    StationRecord& record = host.Record(station);
    if (offline) {
        if (host.Frames().OfflineCount() >= kMaxOfflineEditors)
            return nullptr;
    } else if (!record.present || !record.connected || host.GraphWatch()) {
        return nullptr;
    }
    const std::optional<ModeChoice> choice =
        parts.modeRunner(host, station, ModeUse::NewEditor, host.MainWindow());
    const std::shared_ptr<ParameterData> data = host.Record(station).paramData;
    if (!choice || !data || !data->IsLoaded()) {
        if (offline)
            host.Record(station).Reset();
        return nullptr;
    }
    data->SetMode(choice->mode, choice->time1);
    return new CParaFrame(host, station, parts);
}

}  // namespace

ParaFrameParts EditorParts(ModeRunner runner)
{
    ParaFrameParts parts;
    parts.modeRunner = std::move(runner);
    // Online editors get the dialogs; the frame asks only for a station on the line.
    parts.online = [](CParaFrame& editor) -> std::unique_ptr<ParaOnlineSide> {
        return std::make_unique<OnlineEditorSide>(editor);
    };
    parts.report = [](CParaFrame& editor, const ReportNode& node, QWidget* existing) -> QWidget* {
        return CReportFrame::Report(editor.Host(), editor, node, qobject_cast<CReportFrame*>(existing));
    };
    parts.reportHeader = [](CParaFrame& editor) {
        EditorMessages::Guard g(editor.Messages());
        return CReportHeaderDlg::Run(editor.Messages().Sink(), &editor);
    };
    return parts;
}

void RegisterEditorKind(CToolFrameList& frames)
{
    RegisterEditorKind(frames, &CParaModeDlg::Run);
}

void RegisterEditorKind(CToolFrameList& frames, ModeRunner runner)
{
    RegisterEditorKind(frames, EditorParts(std::move(runner)));
}

void RegisterEditorKind(CToolFrameList& frames, ParaFrameParts parts)
{
    frames.RegisterKind(kKindParameterEditor, [parts = std::move(parts)](ToolHost& host, int station) {
        return OpenEditor(host, station, parts);
    });
}

}  // namespace vm
