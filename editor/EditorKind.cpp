#include "editor/EditorKind.h"

#include "editor/ParaFrame.h"
#include "editor/ParaModeDialog.h"
#include "editor/ParaOnlineSideImpl.h"
#include "frames/ToolFrameList.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"

namespace vm {

namespace {

CFloatFrame* OpenEditor(ToolHost& host, int station, const ModeRunner& runner)
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
    const std::optional<ModeChoice> choice = runner(host, station, ModeUse::kNewEditor, host.MainWindow());
    const std::shared_ptr<ParameterData> data = host.Record(station).paramData;
    if (!choice || !data || !data->IsLoaded()) {
        if (offline)
            host.Record(station).Reset();
        return nullptr;
    }
    data->SetMode(choice->mode, choice->time1);
    return new CParaFrame(host, station, runner);
}

}  // namespace

void RegisterEditorKind(CToolFrameList& frames)
{
    RegisterEditorKind(frames, &CParaModeDlg::Run);
}

void RegisterEditorKind(CToolFrameList& frames, ModeRunner runner)
{
    // Online editors get the dialogs; the frame asks only for a station on the line.
    CParaFrame::OnlineSideFactory() = [](CParaFrame& editor) -> std::unique_ptr<ParaOnlineSide> {
        return std::make_unique<OnlineEditorSide>(editor);
    };
    frames.RegisterKind(kKindParameterEditor,
                        [runner](ToolHost& host, int station) { return OpenEditor(host, station, runner); });
}

}  // namespace vm
