#pragma once
// The online half of an online editor: the reading dialog for a tree node, the edit dialog loop
// over the list, the transfer dialogs, and the drive write behind an online Undo or Redo (the
// record moves to the other stack only when the drive has taken the value).

#include "editor/OnlineUndoWriter.h"
#include "editor/ParaOnlineSide.h"
#include "editor/ParaReadLogic.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

class QDialog;

namespace vm {

class CParaEditDlg;
class CParaFrame;
class CParaReadDlg;

class OnlineEditorSide : public QObject, public ParaOnlineSide {
    Q_OBJECT
public:
    explicit OnlineEditorSide(CParaFrame& frame);
    ~OnlineEditorSide() override;

    void ReadNode(const ParaNode& node) override;
    void ReadAllGroups() override;
    void CancelRead() override;
    void EditRow(int row) override;
    void StopEditing() override;
    void Transfer(int operation) override;
    bool Undo() override;
    bool Redo() override;
    bool UndoPending() const override { return writer_.Pending(); }
    void EntryGone(const CCustom::Entry* entry) override { writer_.ForgetEntry(entry); }

    OnlineUndoWriter& Writer() { return writer_; }

private:
    void Read(ParaReadLogic::Kind kind, CGroup* group, CCustom* custom, const ParaNode& node);
    bool WriteTop(OnlineUndoWriter::Direction direction);
    void ShowLater(const std::string& text, bool error);

    CParaFrame& frame_;
    OnlineUndoWriter writer_;
    QPointer<CParaReadDlg> read_;
    QPointer<CParaEditDlg> edit_;
    QRect editGeometry_;
    bool stopped_ = false;
};

}  // namespace vm
