#include "editor/ParaListView.h"

#include "platform/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vm {

class ParaFilterProxy : public QSortFilterProxyModel {
public:
    explicit ParaFilterProxy(ParaListModel* model, QObject* parent)
        : QSortFilterProxyModel(parent), model_(model)
    {
        setSourceModel(model);
    }
    void Set(const QString& text, bool changedOnly)
    {
        text_ = text;
        changedOnly_ = changedOnly;
        invalidateRowsFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override
    {
        return (text_.isEmpty() && !changedOnly_) || model_->RowMatches(row, text_, changedOnly_);
    }

private:
    ParaListModel* model_;
    QString text_;
    bool changedOnly_ = false;
};

class ParaEditDelegate : public QStyledItemDelegate {
public:
    ParaEditDelegate(ParaListModel* model, QSortFilterProxyModel* proxy, QObject* parent)
        : QStyledItemDelegate(parent), model_(model), proxy_(proxy)
    {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override
    {
        const int row = proxy_->mapToSource(index).row();
        switch (model_->BeginEdit(row)) {
        case ParaListModel::EditKind::Choice: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->addItems(model_->ChoiceTexts(row));
            editor_ = combo;
            return combo;
        }
        case ParaListModel::EditKind::Numeric: {
            auto* edit = new QLineEdit(parent);
            const EditFormat f = model_->Format(row);
            QString pattern;
            switch (f.kind) {
            case EditFormat::Kind::Hex:
                pattern = QStringLiteral("(0[xX])?[0-9a-fA-F]{1,%1}").arg(f.maxDigits);
                break;
            case EditFormat::Kind::Binary:
                pattern = QStringLiteral("[bB]?[01]{1,%1}").arg(f.maxDigits);
                break;
            default:
                pattern = QStringLiteral("%1[0-9]{0,%2}")
                              .arg(f.allowSign ? QStringLiteral("-?") : QString())
                              .arg(f.maxDigits);
                if (f.decimals > 0)
                    pattern += QStringLiteral("(\\.[0-9]{0,%1})?").arg(f.decimals);
                break;
            }
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
            editor_ = edit;
            return edit;
        }
        case ParaListModel::EditKind::None:
            break;
        }
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        const QString text = index.data(Qt::EditRole).toString();
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            combo->setCurrentIndex(combo->findText(text));
        else if (auto* edit = qobject_cast<QLineEdit*>(editor))
            edit->setText(text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            model->setData(index, combo->currentText(), Qt::EditRole);
        else if (auto* edit = qobject_cast<QLineEdit*>(editor))
            model->setData(index, edit->text(), Qt::EditRole);
    }

    QWidget* Editor() const { return editor_; }

private:
    ParaListModel* model_;
    QSortFilterProxyModel* proxy_;
    mutable QPointer<QWidget> editor_;
};

namespace {

// Double-click edits, but not with Shift or Ctrl held (those extend the selection).
class ParaTable : public QTableView {
public:
    using QTableView::QTableView;
    void CloseEditor(QWidget* editor) { closeEditor(editor, QAbstractItemDelegate::RevertModelCache); }

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        if (trigger == DoubleClicked && event) {
            if (auto* m = dynamic_cast<QMouseEvent*>(event);
                m && (m->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
                return false;
        }
        return QTableView::edit(index, trigger, event);
    }
};

constexpr int kGroupWidths[] = {70, 120, 100, 100, 50};
constexpr int kWideWidths[] = {70, 80, 120, 100, 100, 50};

}  // namespace

CParaListView::CParaListView(std::shared_ptr<ParameterData> data, int station, EditorMessages& messages,
                             uint64_t editor, QWidget* parent)
    : QWidget(parent), station_(station), online_(station < 256)
{
    model_ = new ParaListModel(std::move(data), online_, messages, editor, this);
    proxy_ = new ParaFilterProxy(model_, this);
    delegate_ = new ParaEditDelegate(model_, proxy_, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 0);
    bar->addWidget(new QLabel(QStringLiteral("Filter:"), this));
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("code or name"));
    filter_->setClearButtonEnabled(true);
    bar->addWidget(filter_, 1);
    changedOnly_ = new QCheckBox(QStringLiteral("Changed from default only"), this);
    bar->addWidget(changedOnly_);
    layout->addLayout(bar);

    auto* table = new ParaTable(this);
    table_ = table;
    table_->setModel(proxy_);
    table_->setItemDelegate(delegate_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(online_ ? QAbstractItemView::NoEditTriggers : QAbstractItemView::DoubleClicked);
    table_->setShowGrid(true);
    table_->setDragEnabled(true);
    table_->setDragDropMode(QAbstractItemView::DragOnly);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->setWordWrap(false);
    table_->installEventFilter(this);
    layout->addWidget(table_, 1);

    const auto applyFilter = [this] { SetFilter(filter_->text(), changedOnly_->isChecked()); };
    connect(filter_, &QLineEdit::textChanged, this, applyFilter);
    connect(changedOnly_, &QCheckBox::toggled, this, applyFilter);
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        model_->SortByColumn(column);
        table_->horizontalHeader()->setSortIndicatorShown(true);
        table_->horizontalHeader()->setSortIndicator(
            column, model_->Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(model_, &ParaListModel::ColumnsAboutToChange, this, [this](int oldMode) {
        if (oldMode >= 0)
            SaveWidths(oldMode);
    });
    connect(model_, &ParaListModel::ColumnsChanged, this, &CParaListView::LoadWidths);
    connect(proxy_, &QAbstractItemModel::modelReset, this, &CParaListView::RowsChanged);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &CParaListView::RowsChanged);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, &CParaListView::RowsChanged);
    connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (online_)
            emit OnlineEditRequested(proxy_->mapToSource(index).row());
    });
}

CParaListView::~CParaListView()
{
    if (model_->ListMode() != ParaListModel::Mode::None)
        SaveWidths(static_cast<int>(model_->ListMode()));
}

void CParaListView::LoadWidths(int mode)
{
    QSettings s(kCompanyKey, kApplicationKey);
    s.beginGroup(QStringLiteral("Para%1").arg(station_));
    const bool group = mode == 0;
    const int n = group ? 5 : 6;
    for (int c = 0; c < n; ++c) {
        const QString key = QStringLiteral("%1 %2")
                                .arg(group ? QStringLiteral("PARACol1") : QStringLiteral("PARACol2"))
                                .arg(c);
        const int w = s.value(key, group ? kGroupWidths[c] : kWideWidths[c]).toInt();
        table_->setColumnWidth(c, w > 0 ? w : (group ? kGroupWidths[c] : kWideWidths[c]));
    }
}

void CParaListView::SaveWidths(int mode)
{
    QSettings s(kCompanyKey, kApplicationKey);
    s.beginGroup(QStringLiteral("Para%1").arg(station_));
    const bool group = mode == 0;
    const int n = std::min(group ? 5 : 6, proxy_->columnCount());
    for (int c = 0; c < n; ++c)
        s.setValue(QStringLiteral("%1 %2")
                       .arg(group ? QStringLiteral("PARACol1") : QStringLiteral("PARACol2"))
                       .arg(c),
                   table_->columnWidth(c));
}

void CParaListView::Show(std::optional<ParaNode> node)
{
    StopEditing();
    model_->Show(node);
    FitNameColumns();
    if (proxy_->rowCount() > 0)
        table_->setCurrentIndex(proxy_->index(0, 0));
    table_->selectRow(0);
    emit RowsChanged();
}

void CParaListView::FitNameColumns()
{
    // Names are read whole: their columns widen to the longest one shown, never narrower than
    // the width the user left them at.
    for (int c = 0; c < proxy_->columnCount(); ++c) {
        const QString title = proxy_->headerData(c, Qt::Horizontal).toString();
        if (title != QLatin1String("Group Name") && title != QLatin1String("Parameter Name"))
            continue;
        const int given = table_->columnWidth(c);
        table_->resizeColumnToContents(c);
        table_->setColumnWidth(c, std::max(given, table_->columnWidth(c)));
    }
}

int CParaListView::RowCount() const
{
    return proxy_->rowCount();
}

void CParaListView::StopEditing()
{
    if (QWidget* editor = delegate_->Editor())
        static_cast<ParaTable*>(table_)->CloseEditor(editor);
}

void CParaListView::SetFilter(const QString& text, bool changedOnly)
{
    if (filter_->text() != text)
        filter_->setText(text);
    if (changedOnly_->isChecked() != changedOnly)
        changedOnly_->setChecked(changedOnly);
    proxy_->Set(text, changedOnly);
    emit RowsChanged();
}

std::vector<int> CParaListView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows())
        rows.push_back(proxy_->mapToSource(i).row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CParaListView::SelectRow(int sourceRow)
{
    const QModelIndex i = proxy_->mapFromSource(model_->index(sourceRow, 0));
    if (!i.isValid())
        return;
    table_->setCurrentIndex(i);
    table_->selectRow(i.row());
}

void CParaListView::DeleteSelected()
{
    if (model_->ListMode() != ParaListModel::Mode::UserGroup)
        return;
    StopEditing();
    const int next = model_->DeleteRows(SelectedRows());
    if (next >= 0)
        SelectRow(next);
    emit RowsChanged();
}

bool CParaListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_ && event->type() == QEvent::KeyPress && !delegate_->Editor()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            DeleteSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vm
