#include "editor/ParaListModel.h"

#include "editor/EditorMessages.h"
#include "editor/ParaDrag.h"
#include "paramdb/TextCodec.h"

#include <QMimeData>

#include <algorithm>
#include <numeric>

namespace vm {

namespace {

QString Ui(const std::string& cp1252)
{
    return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

// Leading decimal digits as a number; a text without them counts as 0.
quint64 LeadingNumber(const QString& text)
{
    quint64 n = 0;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            break;
        n = n * 10 + static_cast<quint64>(c.unicode() - '0');
        if (n > (quint64{1} << 60))
            break;
    }
    return n;
}

std::optional<double> ParseEntry(const EditFormat& format, QString text)
{
    text = text.trimmed();
    bool ok = false;
    double value = 0;
    switch (format.kind) {
    case EditFormat::Kind::Hex:
        if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        value = static_cast<double>(text.toULongLong(&ok, 16));
        break;
    case EditFormat::Kind::Binary:
        if (text.startsWith(QLatin1Char('b'), Qt::CaseInsensitive))
            text = text.mid(1);
        value = static_cast<double>(text.toULongLong(&ok, 2));
        break;
    default:
        value = text.toDouble(&ok);
        break;
    }
    if (!ok || text.isEmpty())
        return std::nullopt;
    return value;
}

}  // namespace

QColor ParaListModel::StateColour(RowState state)
{
    switch (state) {
    case RowState::NotRead:
        return QColor(153, 153, 153);
    case RowState::Failed:
        return QColor(255, 51, 51);
    case RowState::Changed:
        return QColor(0, 0, 255);
    case RowState::Default:
        break;
    }
    return {};
}

ParaListModel::ParaListModel(std::shared_ptr<ParameterData> data, bool online, EditorMessages& messages,
                             uint64_t editor, QObject* parent)
    : QAbstractTableModel(parent), data_(std::move(data)), online_(online), messages_(messages),
      editor_(editor)
{}

void ParaListModel::SetMode(Mode mode)
{
    mode_ = mode;
}

namespace {
ParaListModel::Mode ModeOf(const std::optional<ParaNode>& node, ParaListModel::Mode current)
{
    if (!node)
        return current;
    switch (node->kind) {
    case NodeKind::Group:
        return ParaListModel::Mode::Group;
    case NodeKind::UserGroup:
        return ParaListModel::Mode::UserGroup;
    case NodeKind::GroupRoot:
        return ParaListModel::Mode::AllGroups;
    case NodeKind::UserGroupRoot:
        break;
    }
    return ParaListModel::Mode::Empty;
}
}  // namespace

void ParaListModel::Show(std::optional<ParaNode> node)
{
    // The column set changes between mode 0 and the others (and from none).
    const Mode old = mode_;
    const Mode next = ModeOf(node, mode_);
    const bool newColumns = next != old && (old == Mode::None || old == Mode::Group || next == Mode::Group);
    if (newColumns)
        emit ColumnsAboutToChange(static_cast<int>(old));
    beginResetModel();
    editRow_ = -1;
    editItem_ = nullptr;
    editEntry_ = nullptr;
    rows_.clear();
    custom_ = nullptr;
    const bool loaded = data_ && data_->IsLoaded();
    if (node) {
        switch (node->kind) {
        case NodeKind::Group:
            SetMode(Mode::Group);
            if (node->group)
                for (const auto& item : node->group->items)
                    rows_.push_back({item.get(), nullptr});
            break;
        case NodeKind::UserGroup:
            SetMode(Mode::UserGroup);
            custom_ = node->custom;
            if (custom_ && loaded)
                for (size_t i = 0; i < custom_->Count(); ++i) {
                    CCustom::Entry* e = custom_->EntryAt(i);
                    if (e->Item())
                        rows_.push_back({nullptr, e});
                }
            break;
        case NodeKind::GroupRoot:
            SetMode(Mode::AllGroups);
            if (data_)
                for (const auto& g : data_->Groups())
                    for (const auto& item : g->items)
                        rows_.push_back({item.get(), nullptr});
            break;
        case NodeKind::UserGroupRoot:
            SetMode(Mode::Empty);
            break;
        }
    }
    endResetModel();
    if (newColumns)
        emit ColumnsChanged(static_cast<int>(next));
}

CItem* ParaListModel::ItemAt(int row) const
{
    if (row < 0 || row >= RowCount())
        return nullptr;
    const Row& r = rows_[static_cast<size_t>(row)];
    return r.entry ? r.entry->Item() : r.item;
}

CCustom::Entry* ParaListModel::EntryAt(int row) const
{
    return row < 0 || row >= RowCount() ? nullptr : rows_[static_cast<size_t>(row)].entry;
}

int ParaListModel::RowOfAddress(uint16_t address) const
{
    for (int r = 0; r < RowCount(); ++r) {
        const Row& row = rows_[static_cast<size_t>(r)];
        if ((row.entry ? row.entry->address : row.item->address) == address)
            return r;
    }
    return -1;
}

uint32_t ParaListModel::RowValue(int row, const CItem* item) const
{
    const CCustom::Entry* e = EntryAt(row);
    return e ? e->value : item->value;
}

QString ParaListModel::CellText(int row, int column) const
{
    const CItem* item = ItemAt(row);
    if (!item)
        return {};
    if (mode_ != Mode::Group) {
        if (column == 0)
            return item->Group() ? Ui(item->Group()->name) : QString();
        --column;
    }
    const CCustom::Entry* e = EntryAt(row);
    switch (column) {
    case 0:
        return QString::number(item->Code());
    case 1:
        return Ui(item->displayName);
    case 2:
        return Ui(e ? item->ValueText(e->value, true) : item->ValueText());
    case 3:
        return Ui(item->DefaultText());
    case 4:
        return Ui(item->UnitText());
    default:
        return {};
    }
}

ParaListModel::RowState ParaListModel::State(int row) const
{
    const CItem* item = ItemAt(row);
    if (!item)
        return RowState::Failed;
    const CCustom::Entry* e = EntryAt(row);
    const int status = e ? e->valueStatus : item->valueStatus;
    if (status == 0)
        return RowState::NotRead;
    if (status != 1)
        return RowState::Failed;
    return RowValue(row, item) == item->defaultValue ? RowState::Default : RowState::Changed;
}

void ParaListModel::Refresh(bool valuesOnly)
{
    if (rows_.empty())
        return;
    // A value's state colours its whole row, so even a values-only refresh repaints every column.
    const QList<int> roles =
        valuesOnly ? QList<int>{Qt::DisplayRole, Qt::EditRole, Qt::ForegroundRole} : QList<int>{};
    emit dataChanged(index(0, 0), index(RowCount() - 1, columnCount() - 1), roles);
}

void ParaListModel::RowChanged(int row)
{
    if (row >= 0 && row < RowCount())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void ParaListModel::DropUserGroup(const CCustom& group)
{
    stacks_.DiscardGroup(group);
    if (onEntryDiscarded)
        for (size_t i = 0; i < group.Count(); ++i)
            onEntryDiscarded(group.EntryAt(i));
    if (editEntry_ && editEntry_->owner == &group) {
        editRow_ = -1;
        editItem_ = nullptr;
        editEntry_ = nullptr;
    }
    if (mode_ == Mode::UserGroup && custom_ == &group) {
        beginResetModel();
        rows_.clear();
        custom_ = nullptr;
        endResetModel();
    }
    emit UndoStateChanged();
}

void ParaListModel::SortByColumn(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    const bool numeric = column == AddressColumn();
    std::vector<QString> texts(rows_.size());
    std::vector<quint64> numbers(rows_.size());
    for (int r = 0; r < RowCount(); ++r) {
        texts[static_cast<size_t>(r)] = CellText(r, column);
        numbers[static_cast<size_t>(r)] = LeadingNumber(texts[static_cast<size_t>(r)]);
    }
    std::vector<size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto less = [&](size_t a, size_t b) {
        if (numeric)
            return numbers[a] < numbers[b];
        return texts[a].compare(texts[b], Qt::CaseInsensitive) < 0;
    };
    if (ascending_)
        std::stable_sort(order.begin(), order.end(), less);
    else
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return less(b, a); });
    emit layoutAboutToBeChanged();
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (size_t i : order)
        sorted.push_back(rows_[i]);
    QModelIndexList from, to;
    for (size_t n = 0; n < order.size(); ++n)
        for (int c = 0; c < columnCount(); ++c) {
            from << index(static_cast<int>(order[n]), c);
            to << index(static_cast<int>(n), c);
        }
    rows_ = std::move(sorted);
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

bool ParaListModel::Editable(int row) const
{
    const CItem* item = ItemAt(row);
    return !online_ && data_ && data_->IsLoaded() && item && item->writable && item->HasValueType();
}

ParaListModel::EditKind ParaListModel::BeginEdit(int row)
{
    if (!Editable(row))
        return EditKind::None;
    editRow_ = row;
    editItem_ = ItemAt(row);
    editEntry_ = EntryAt(row);
    editOld_ = editEntry_ ? editEntry_->value : editItem_->value;
    return editItem_->IsChoice() ? EditKind::Choice : EditKind::Numeric;
}

QStringList ParaListModel::ChoiceTexts(int row) const
{
    QStringList out;
    const CItem* item = ItemAt(row);
    if (item && item->IsChoice())
        for (const std::string& t : item->ChoiceTexts())
            out << Ui(t);
    return out;
}

EditFormat ParaListModel::Format(int row) const
{
    const CItem* item = ItemAt(row);
    return item ? item->GetEditFormat() : EditFormat{};
}

ParaListModel::EditResult ParaListModel::EndEdit(int row, const QString& text)
{
    if (online_ || row != editRow_ || !editItem_ || ItemAt(row) != editItem_)
        return EditResult::Refused;
    CItem* item = editItem_;
    uint32_t raw = 0;
    if (item->IsChoice()) {
        const int index = item->ChoiceIndex(Utf8ToCp1252(text.toStdString()));
        if (index < 0) {
            RowChanged(row);
            return EditResult::Refused;
        }
        raw = static_cast<uint32_t>(index);
    } else {
        const std::optional<double> entry = ParseEntry(item->GetEditFormat(), text);
        const std::optional<uint32_t> accepted = entry ? item->AcceptEntry(*entry) : std::nullopt;
        if (!accepted) {
            messages_.Information(kRangeErrorText);
            RowChanged(row);
            return EditResult::Refused;
        }
        raw = *accepted;
    }
    if (editEntry_) {
        editEntry_->valueStatus = 1;
        if (editEntry_->value != raw) {
            editEntry_->owner->SetModified(true);
            emit UserGroupChanged(editEntry_->owner);
        }
        editEntry_->value = raw;
    } else {
        item->valueStatus = 1;
        item->value = raw;
    }
    const bool changed = raw != editOld_;
    if (changed) {
        stacks_.PushUndo({item->address, editOld_, raw, editEntry_ != nullptr, editEntry_});
        editOld_ = raw;
        emit UndoStateChanged();
    }
    RowChanged(row);
    return changed ? EditResult::Stored : EditResult::Unchanged;
}

void ParaListModel::ApplyUndo(const UndoRecord& record)
{
    if (record.entryMode) {
        if (!record.entry)
            return;
        if (record.entry->value != record.oldValue) {
            record.entry->owner->SetModified(true);
            emit UserGroupChanged(record.entry->owner);
        }
        record.entry->value = record.oldValue;
        if (mode_ == Mode::UserGroup)
            for (int r = 0; r < RowCount(); ++r)
                if (EntryAt(r) == record.entry)
                    RowChanged(r);
        return;
    }
    if (CItem* item = data_ ? data_->FindItem(record.address) : nullptr) {
        item->value = record.oldValue;
        if (mode_ == Mode::Group || mode_ == Mode::AllGroups)
            RowChanged(RowOfAddress(record.address));
    }
}

bool ParaListModel::Undo()
{
    if (online_)
        return false;
    std::optional<UndoRecord> r = stacks_.PopUndo();
    if (!r)
        return false;
    ApplyUndo(*r);
    std::swap(r->oldValue, r->newValue);
    stacks_.PushRedo(*r);
    emit UndoStateChanged();
    return true;
}

bool ParaListModel::Redo()
{
    if (online_)
        return false;
    std::optional<UndoRecord> r = stacks_.PopRedo();
    if (!r)
        return false;
    ApplyUndo(*r);
    std::swap(r->oldValue, r->newValue);
    stacks_.PushUndo(*r);
    emit UndoStateChanged();
    return true;
}

int ParaListModel::DeleteRows(std::vector<int> rows)
{
    if (mode_ != Mode::UserGroup || !custom_)
        return -1;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= RowCount(); }),
               rows.end());
    if (rows.empty())
        return -1;
    const int last = rows.back();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        CCustom::Entry* e = EntryAt(*it);
        if (e == editEntry_) {
            editRow_ = -1;
            editItem_ = nullptr;
            editEntry_ = nullptr;
        }
        stacks_.DiscardEntry(e);
        if (onEntryDiscarded)
            onEntryDiscarded(e);
        beginRemoveRows({}, *it, *it);
        rows_.erase(rows_.begin() + *it);
        custom_->RemoveEntry(e);
        endRemoveRows();
    }
    custom_->SetModified(true);
    emit UserGroupChanged(custom_);
    emit UndoStateChanged();
    const int next = last - static_cast<int>(rows.size()) + 1;
    return RowCount() == 0 ? -1 : std::min(next, RowCount() - 1);
}

bool ParaListModel::RowMatches(int row, const QString& text, bool changedOnly) const
{
    const CItem* item = ItemAt(row);
    if (!item)
        return text.isEmpty() && !changedOnly;
    if (changedOnly && RowValue(row, item) == item->defaultValue)
        return false;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return true;
    return QString::number(item->Code()) == t || Ui(item->displayName).contains(t, Qt::CaseInsensitive);
}

int ParaListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int ParaListModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return mode_ == Mode::Group || mode_ == Mode::None ? 5 : 6;
}

QVariant ParaListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return CellText(index.row(), index.column());
    case Qt::ForegroundRole: {
        const QColor c = StateColour(State(index.row()));
        return c.isValid() ? QVariant(c) : QVariant();
    }
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(QColor(0, 128, 128)) : QVariant();
    default:
        return {};
    }
}

QVariant ParaListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kGroupSet[] = {"Address", "Parameter Name", "Value", "Default", "Unit"};
    static const char* const kWideSet[] = {"Group Name", "Address", "Parameter Name",
                                           "Value",      "Default", "Unit"};
    if (section < 0 || section >= columnCount())
        return {};
    return QString::fromLatin1(columnCount() == 5 ? kGroupSet[section] : kWideSet[section]);
}

Qt::ItemFlags ParaListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == ValueColumn() && Editable(index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool ParaListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != ValueColumn())
        return false;
    if (BeginEdit(index.row()) == EditKind::None)
        return false;
    return EndEdit(index.row(), value.toString()) != EditResult::Refused;
}

QStringList ParaListModel::mimeTypes() const
{
    return {QString::fromLatin1(kParaDragMime)};
}

QMimeData* ParaListModel::mimeData(const QModelIndexList& indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex& i : indexes)
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<uint16_t> addresses;
    for (int r : rows)
        if (const CItem* item = ItemAt(r))
            addresses.push_back(item->address);
    return EncodeParaDrag(editor_, addresses);
}

}  // namespace vm
