#include "monitor/LineHealthModel.h"

#include <QColor>

#include <algorithm>
#include <array>

namespace vm {

namespace {

constexpr int kColumns = static_cast<int>(HealthColumn::Count);

struct ColumnText {
    const char* title;
    const char* tip;
};

constexpr std::array<ColumnText, kColumns> kTitles = {{
    {"ID", "Station ID"},
    {"Drive", "Model and device name"},
    {"Requests", "Transactions started (repetitions not included)"},
    {"Replies", "Well-formed replies: data, NAK or Modbus exception"},
    {"Time-outs", "Attempts that got no reply in time"},
    {"Checksum Errors", "Replies with a bad sum (KX485) or CRC (Modbus)"},
    {"Frame Errors", "Replies that fit no request"},
    {"NAK / Exceptions", "Refusals by the drive, by code"},
    {"Repetitions", "Attempts repeated after a failed one"},
    {"Give-ups", "Transactions abandoned after the last repetition"},
    {"Last ms", "Reply time of the latest reply, from the end of the request to its last byte"},
    {"Mean ms", "Mean reply time"},
    {"Max ms", "Longest reply time"},
    {"Values/s", "Register values refreshed per second by the monitor"},
    {"Block Reads", "Modbus: consecutive monitored registers read in one request, or refused by the drive"},
}};

QString Count(uint64_t n)
{
    return QString::number(n);
}

QString Milliseconds(int64_t us)
{
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 1);
}

// Texts to the left, numbers to the right, headers as their cells.
QVariant Alignment(HealthColumn column)
{
    const bool text = column == HealthColumn::Drive || column == HealthColumn::Refusals ||
                      column == HealthColumn::BlockReads;
    return QVariant((text ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
}

}  // namespace

LineHealthModel::LineHealthModel(QObject* parent) : QAbstractTableModel(parent)
{}

int LineHealthModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LineHealthModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant LineHealthModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns)
        return {};
    const auto column = static_cast<HealthColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return CellText(index.row(), column);
    case Qt::TextAlignmentRole:
        return Alignment(column);
    case Qt::ForegroundRole:
        if (rows_[static_cast<size_t>(index.row())].lost)
            return QColor(Qt::red);
        return {};
    default:
        return {};
    }
}

QVariant LineHealthModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return {};
    const auto column = static_cast<HealthColumn>(section);
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(kTitles[static_cast<size_t>(section)].title);
    case Qt::ToolTipRole:
        return QString::fromLatin1(kTitles[static_cast<size_t>(section)].tip);
    case Qt::TextAlignmentRole:
        return Alignment(column);
    default:
        return {};
    }
}

void LineHealthModel::Refresh(std::vector<LineHealthRow> rows, int64_t nowMs)
{
    std::vector<double> rates;
    std::map<int, Sample> samples;
    for (const LineHealthRow& row : rows) {
        const uint64_t values = row.health.valuesRefreshed;
        double rate = -1;
        auto it = previous_.find(row.station);
        // A count below the last one was reset elsewhere: no rate until the next refresh.
        if (it != previous_.end() && nowMs > it->second.ms && values >= it->second.values)
            rate = static_cast<double>(values - it->second.values) * 1000.0 /
                   static_cast<double>(nowMs - it->second.ms);
        rates.push_back(rate);
        samples[row.station] = {values, nowMs};
    }
    previous_ = std::move(samples);

    const bool sameStations =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(),
                   [](const LineHealthRow& a, const LineHealthRow& b) { return a.station == b.station; });
    if (!sameStations)
        beginResetModel();
    rows_ = std::move(rows);
    rates_ = std::move(rates);
    if (!sameStations)
        endResetModel();
    else if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1), {Qt::DisplayRole});
}

void LineHealthModel::Restart()
{
    previous_.clear();
}

double LineHealthModel::ValuesPerSecond(int row) const
{
    return row >= 0 && row < static_cast<int>(rates_.size()) ? rates_[static_cast<size_t>(row)] : -1;
}

QString LineHealthModel::CellText(int row, HealthColumn column) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return {};
    const LineHealthRow& r = rows_[static_cast<size_t>(row)];
    const StationHealth& h = r.health;
    switch (column) {
    case HealthColumn::Id:
        return QString::number(r.station);
    case HealthColumn::Drive:
        return r.lost ? r.drive + QStringLiteral(" - lost") : r.drive;
    case HealthColumn::Requests:
        return Count(h.requests);
    case HealthColumn::Replies:
        return Count(h.replies);
    case HealthColumn::Timeouts:
        return Count(h.timeouts);
    case HealthColumn::ChecksumErrors:
        return Count(h.checksumErrors);
    case HealthColumn::FrameErrors:
        return Count(h.frameErrors);
    case HealthColumn::Refusals:
        return QString::fromStdString(h.RejectionText());
    case HealthColumn::Repetitions:
        return Count(h.repetitions);
    case HealthColumn::GiveUps:
        return Count(h.giveUps);
    // No reply timed yet: nothing to show rather than a misleading zero.
    case HealthColumn::ReplyLast:
        return h.timed ? Milliseconds(h.replyLastUs) : QString();
    case HealthColumn::ReplyMean:
        return h.timed ? Milliseconds(h.ReplyMeanUs()) : QString();
    case HealthColumn::ReplyMax:
        return h.timed ? Milliseconds(h.replyMaxUs) : QString();
    case HealthColumn::ValuesPerSecond: {
        const double rate = ValuesPerSecond(row);
        return rate < 0 ? QString() : QString::number(rate, 'f', 1);
    }
    case HealthColumn::BlockReads:
        return r.blockReads == BlockReadUse::On        ? QStringLiteral("yes")
               : r.blockReads == BlockReadUse::Refused ? QStringLiteral("refused")
                                                       : QString();
    case HealthColumn::Count:
        break;
    }
    return {};
}

}  // namespace vm

namespace vm {

QString LineNote(bool linePaced, double gapMs, std::optional<int> latencyMs)
{
    QString note = linePaced ? QStringLiteral("Line-paced, %1 ms between transactions.").arg(gapMs, 0, 'f', 2)
                             : QStringLiteral("One transaction per 30 ms tick.");
    if (!latencyMs)
        return note;
    note += QStringLiteral(" USB latency timer %1 ms.").arg(*latencyMs);
    // The adapter holds received bytes back for up to its timer: one reply per timer period.
    if (*latencyMs > 1)
        note += QStringLiteral(
                    " It holds a paced line to about %1 transactions/s; set it to 1 ms (see the README's "
                    "udev rule).")
                    .arg(1000 / *latencyMs);
    return note;
}

}  // namespace vm
