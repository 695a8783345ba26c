#include "editor/ParaTreeView.h"

#include "editor/ParaDrag.h"
#include "paramdb/ParameterData.h"
#include "paramdb/TextCodec.h"
#include "paramdb/UserGroup.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>

namespace vm {

namespace {
constexpr int kKindRole = Qt::UserRole;
constexpr int kObjectRole = Qt::UserRole + 1;

QString Ui(const std::string& cp1252)
{
    return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

// A user group is named after its file, and file names are the system's, not the data file's.
QString FileTitle(const std::string& name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}
}  // namespace

CParaTreeView::CParaTreeView(std::shared_ptr<ParameterData> data, uint64_t editor, QWidget* parent)
    : QTreeWidget(parent), data_(std::move(data)), editor_(editor)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { emit NodeChanged(); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { emit NodeActivated(); });
}

QTreeWidgetItem* CParaTreeView::AddNode(QTreeWidgetItem* parent, const QString& text, NodeKind kind,
                                        void* object)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, kKindRole, static_cast<int>(kind));
    item->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
    QStyle* st = style();
    switch (kind) {
    case NodeKind::GroupRoot:
        item->setIcon(0, st->standardIcon(QStyle::SP_DriveHDIcon));
        break;
    case NodeKind::UserGroupRoot:
        item->setIcon(0, st->standardIcon(QStyle::SP_DirHomeIcon));
        break;
    case NodeKind::Group:
        item->setIcon(0, st->standardIcon(QStyle::SP_DirIcon));
        break;
    case NodeKind::UserGroup:
        item->setIcon(0, st->standardIcon(QStyle::SP_FileIcon));
        break;
    }
    return item;
}

void CParaTreeView::Build()
{
    clear();
    groupRoot_ = AddNode(nullptr, QStringLiteral("Parameter Group"), NodeKind::GroupRoot, nullptr);
    userRoot_ = AddNode(nullptr, QStringLiteral("User Group"), NodeKind::UserGroupRoot, nullptr);
    if (data_)
        for (const auto& g : data_->Groups())
            AddNode(groupRoot_, Ui(g->name), NodeKind::Group, g.get());
    groupRoot_->setExpanded(true);
    userRoot_->setExpanded(true);
    setCurrentItem(groupRoot_->childCount() ? groupRoot_->child(0) : groupRoot_);
}

std::optional<ParaNode> CParaTreeView::NodeOf(const QTreeWidgetItem* item)
{
    if (!item)
        return std::nullopt;
    ParaNode node;
    node.kind = static_cast<NodeKind>(item->data(0, kKindRole).toInt());
    void* object = reinterpret_cast<void*>(item->data(0, kObjectRole).value<quintptr>());
    if (node.kind == NodeKind::Group)
        node.group = static_cast<CGroup*>(object);
    else if (node.kind == NodeKind::UserGroup)
        node.custom = static_cast<CCustom*>(object);
    return node;
}

std::optional<ParaNode> CParaTreeView::SelectedNode() const
{
    return NodeOf(currentItem());
}

CCustom* CParaTreeView::SelectedUserGroup() const
{
    const auto node = SelectedNode();
    return node && node->kind == NodeKind::UserGroup ? node->custom : nullptr;
}

QTreeWidgetItem* CParaTreeView::UserGroupNode(const CCustom* group) const
{
    for (int i = 0; userRoot_ && i < userRoot_->childCount(); ++i)
        if (NodeOf(userRoot_->child(i))->custom == group)
            return userRoot_->child(i);
    return nullptr;
}

void CParaTreeView::AddUserGroupNode(CCustom* group, bool select)
{
    QTreeWidgetItem* node = AddNode(userRoot_, FileTitle(group->Name()), NodeKind::UserGroup, group);
    userRoot_->setExpanded(true);
    if (select)
        setCurrentItem(node);
}

void CParaTreeView::RenameUserGroupNode(CCustom* group)
{
    if (QTreeWidgetItem* node = UserGroupNode(group))
        node->setText(0, FileTitle(group->Name()));
}

void CParaTreeView::RemoveUserGroupNode(CCustom* group)
{
    delete UserGroupNode(group);
}

void CParaTreeView::SelectGroupRoot()
{
    setCurrentItem(groupRoot_);
}

void CParaTreeView::MarkCurrentUserGroup(const CCustom* group)
{
    for (int i = 0; userRoot_ && i < userRoot_->childCount(); ++i) {
        QTreeWidgetItem* node = userRoot_->child(i);
        QFont font = node->font(0);
        font.setBold(NodeOf(node)->custom == group);
        node->setFont(0, font);
    }
}

CCustom* CParaTreeView::DropTarget(QTreeWidgetItem* node, const QMimeData* mime) const
{
    const auto n = NodeOf(node);
    if (!n || n->kind != NodeKind::UserGroup || !n->custom || !data_)
        return nullptr;
    return DecodeParaDrag(mime, editor_) ? n->custom : nullptr;
}

int CParaTreeView::DropOn(QTreeWidgetItem* node, const QMimeData* mime)
{
    CCustom* group = DropTarget(node, mime);
    if (!group)
        return -1;
    const int added = AddToUserGroup(*group, *data_, *DecodeParaDrag(mime, editor_));
    if (added)
        emit UserGroupChanged(group);
    return added;
}

void CParaTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && SelectedUserGroup()) {
        emit CloseUserGroupRequested();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CParaTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    if (DecodeParaDrag(event->mimeData(), editor_))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CParaTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (DropTarget(itemAt(event->position().toPoint()), event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CParaTreeView::dropEvent(QDropEvent* event)
{
    if (DropOn(itemAt(event->position().toPoint()), event->mimeData()) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace vm
