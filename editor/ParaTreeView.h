#pragma once
// The editor's group tree: the data file's groups under "Parameter Group", the open user groups
// under "User Group". Selecting a node shows it in the list; parameters dragged from the list
// are dropped only onto a user group node; Delete asks the editor to close a user group.

#include "editor/ParaNode.h"

#include <QTreeWidget>

#include <memory>
#include <optional>

namespace vm {

class ParameterData;

class CParaTreeView : public QTreeWidget {
    Q_OBJECT
public:
    CParaTreeView(std::shared_ptr<ParameterData> data, uint64_t editor, QWidget* parent = nullptr);

    // Both roots and the groups; selects the first group.
    void Build();
    std::optional<ParaNode> SelectedNode() const;
    CCustom* SelectedUserGroup() const;
    void AddUserGroupNode(CCustom* group, bool select);
    void RenameUserGroupNode(CCustom* group);
    void RemoveUserGroupNode(CCustom* group);
    void SelectGroupRoot();
    // The group "Add to User Group" fills is shown in bold.
    void MarkCurrentUserGroup(const CCustom* group);
    QTreeWidgetItem* UserGroupNode(const CCustom* group) const;
    QTreeWidgetItem* GroupRoot() const { return groupRoot_; }
    QTreeWidgetItem* UserGroupRoot() const { return userRoot_; }

    // The user group a drop onto that node would go to, or null when the drop is refused.
    CCustom* DropTarget(QTreeWidgetItem* node, const QMimeData* mime) const;
    // Adds the dropped parameters the group lacks; how many were added (-1: refused).
    int DropOn(QTreeWidgetItem* node, const QMimeData* mime);

    static std::optional<ParaNode> NodeOf(const QTreeWidgetItem* item);

signals:
    void NodeChanged();
    void CloseUserGroupRequested();
    void NodeActivated();
    void UserGroupChanged(CCustom* group);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, NodeKind kind, void* object);

    std::shared_ptr<ParameterData> data_;
    const uint64_t editor_;
    QTreeWidgetItem* groupRoot_ = nullptr;
    QTreeWidgetItem* userRoot_ = nullptr;
};

}  // namespace vm
