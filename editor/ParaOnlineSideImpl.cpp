#include "editor/ParaOnlineSideImpl.h"

#include "editor/EditorMessages.h"
#include "editor/ParaEditDlg.h"
#include "editor/ParaEditLogic.h"
#include "editor/ParaFrame.h"
#include "editor/ParaListModel.h"
#include "editor/ParaListView.h"
#include "editor/ParaReadDlg.h"
#include "editor/ParaTransferDlg.h"
#include "frames/ToolHost.h"

#include <QTimer>

#include <utility>

namespace vm {

namespace {

EditUndoRecord ToEdit(const UndoRecord& r)
{
    return {r.address, r.oldValue, r.newValue, r.entryMode, r.entry};
}
UndoRecord ToUndo(const EditUndoRecord& r)
{
    return {r.address, r.oldValue, r.newValue, r.entryMode, r.entry};
}

}  // namespace

OnlineEditorSide::OnlineEditorSide(CParaFrame& frame)
    : frame_(frame), writer_(frame.Host().Comm(), frame.Host().Record(frame.Station()))
{
    writer_.onDone = [this](const EditUndoRecord& r, OnlineUndoWriter::Direction d) {
        ParaListModel& model = frame_.List().Model();
        if (d == OnlineUndoWriter::Direction::Undo)
            model.Stacks().PushRedo(ToUndo(r));
        else
            model.Stacks().PushUndo(ToUndo(r));
        frame_.List().Refresh(true);
        emit model.UndoStateChanged();
    };
    writer_.onFailed = [this](const EditUndoRecord& r, OnlineUndoWriter::Direction d,
                              const std::string& text) {
        ParaListModel& model = frame_.List().Model();
        if (d == OnlineUndoWriter::Direction::Undo)
            model.Stacks().PushUndo(ToUndo(r));
        else
            model.Stacks().PushRedo(ToUndo(r));
        emit model.UndoStateChanged();
        ShowLater(text, true);
    };
    writer_.onForgotten = [this] { emit frame_.List().Model().UndoStateChanged(); };
}

OnlineEditorSide::~OnlineEditorSide() = default;

void OnlineEditorSide::ReadNode(const ParaNode& node)
{
    switch (node.kind) {
    case NodeKind::Group:
        Read(ParaReadLogic::Kind::Group, node.group, nullptr, node);
        break;
    case NodeKind::UserGroup:
        Read(ParaReadLogic::Kind::UserGroup, nullptr, node.custom, node);
        break;
    case NodeKind::GroupRoot:
        Read(ParaReadLogic::Kind::All, nullptr, nullptr, node);
        break;
    case NodeKind::UserGroupRoot:
        break;
    }
}

void OnlineEditorSide::ReadAllGroups()
{
    Read(ParaReadLogic::Kind::All, nullptr, nullptr, ParaNode{});
}

void OnlineEditorSide::Read(ParaReadLogic::Kind kind, CGroup* group, CCustom* custom, const ParaNode& node)
{
    CancelRead();
    auto dlg = std::make_unique<CParaReadDlg>(frame_.Host(), frame_.Station(), frame_.Data(), kind, group,
                                              custom, &frame_);
    read_ = dlg.get();
    frame_.RunModal(*dlg);
    const bool cancelled = dlg->Cancelled();
    const std::string failure = dlg->Logic().FailureMessage();
    dlg.reset();
    if (!failure.empty() && !frame_.CloseRequested())
        frame_.Messages().Error(failure);
    if (!cancelled) {
        frame_.List().Show(node);
        frame_.UpdateCommands();
    }
}

void OnlineEditorSide::CancelRead()
{
    if (read_)
        read_->Cancel();
}

void OnlineEditorSide::EditRow(int row)
{
    if (edit_)
        return;
    ParaListModel& model = frame_.List().Model();
    while (row >= 0 && row < model.RowCount()) {
        CItem* item = model.ItemAt(row);
        if (!item)
            break;
        frame_.List().SelectRow(row);
        auto dlg = OpenParaEditDialog(frame_.Host(), frame_.Station(), frame_.Data(), item,
                                      model.EntryAt(row), frame_.CFloatFrame::Messages(), &frame_);
        if (!dlg)
            break;
        dlg->SetUndoSink([&model](const EditUndoRecord& r) {
            model.Stacks().PushUndo(ToUndo(r));
            emit model.UndoStateChanged();
        });
        dlg->SetRememberedGeometry(editGeometry_);
        edit_ = dlg.get();
        const int result = frame_.RunModal(*dlg);
        editGeometry_ = dlg->RememberedGeometry();
        const int move = result == QDialog::Rejected && stopped_ ? 0 : dlg->MoveCode();
        dlg.reset();
        frame_.List().Refresh(true);
        if (stopped_ || frame_.CloseRequested())
            break;
        row = NextEditRow(row, model.RowCount(), move);
    }
    stopped_ = false;
}

void OnlineEditorSide::StopEditing()
{
    if (edit_) {
        stopped_ = true;
        edit_->done(QDialog::Rejected);
    }
}

void OnlineEditorSide::Transfer(int operation)
{
    CParaTransferDlg dlg(frame_.Host(), frame_.Station(), frame_.Data(), operation,
                         frame_.CFloatFrame::Messages(), &frame_);
    dlg.onRefresh = [this] { frame_.List().Refresh(true); };
    frame_.RunModal(dlg);
}

bool OnlineEditorSide::Undo()
{
    return WriteTop(OnlineUndoWriter::Direction::Undo);
}

bool OnlineEditorSide::Redo()
{
    return WriteTop(OnlineUndoWriter::Direction::Redo);
}

bool OnlineEditorSide::WriteTop(OnlineUndoWriter::Direction direction)
{
    if (writer_.Pending())
        return false;
    ParaListModel& model = frame_.List().Model();
    ParaUndoStacks& stacks = model.Stacks();
    const bool undo = direction == OnlineUndoWriter::Direction::Undo;
    std::optional<UndoRecord> r = undo ? stacks.PopUndo() : stacks.PopRedo();
    if (!r)
        return false;
    const auto putBack = [&] { undo ? stacks.PushUndo(*r) : stacks.PushRedo(*r); };
    bool sent = false;
    switch (writer_.Write(ToEdit(*r), direction, frame_.Host().GraphWatch())) {
    case OnlineUndoWriter::Result::Sent:
        // The writer holds the record until the reply.
        sent = true;
        break;
    case OnlineUndoWriter::Result::NoItem:
        // Nothing to write (group closed): the record moves as offline.
        std::swap(r->oldValue, r->newValue);
        undo ? stacks.PushRedo(*r) : stacks.PushUndo(*r);
        break;
    case OnlineUndoWriter::Result::RunLocked:
        putBack();
        ShowLater(edit_text::kRunLocked, false);
        break;
    case OnlineUndoWriter::Result::Busy:
    case OnlineUndoWriter::Result::GraphWatch:
        putBack();
        break;
    }
    emit model.UndoStateChanged();
    return sent;
}

void OnlineEditorSide::ShowLater(const std::string& text, bool error)
{
    if (error)
        frame_.LaterMessages().Error(text);
    else
        frame_.LaterMessages().Information(text);
}

}  // namespace vm
