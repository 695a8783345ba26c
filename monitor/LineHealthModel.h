#pragma once
// Rows of the "Line Health" page: one per drive connected during the run (lost ones marked), the
// communication manager's counters for its station as last refreshed, and the values per second refreshed
// since the refresh before.

#include "comm/BlockReads.h"
#include "comm/StationHealth.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace vm {

enum class HealthColumn : int {
    Id,
    Drive,
    Requests,
    Replies,
    Timeouts,
    ChecksumErrors,
    FrameErrors,
    Refusals,
    Repetitions,
    GiveUps,
    ReplyLast,
    ReplyMean,
    ReplyMax,
    ValuesPerSecond,
    BlockReads,
    Count
};

struct LineHealthRow {
    int station = 0;
    QString drive;  // model, with the device name when the user gave one
    StationHealth health;
    BlockReadUse blockReads = BlockReadUse::Off;
    bool lost = false;  // connected earlier in the run, not now
};

// The line's own note under the table: the pacing, and a USB adapter's latency timer with a hint
// when it holds a paced line back (latencyMs: none when the port is no USB adapter).
QString LineNote(bool linePaced, double gapMs, std::optional<int> latencyMs);

class LineHealthModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit LineHealthModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes this refresh's rows at nowMs on a monotonic clock. A station's values per second are
    // the values refreshed since its previous row divided by the time between the two.
    void Refresh(std::vector<LineHealthRow> rows, int64_t nowMs);
    // The counters were zeroed: the rates start over at the next refresh.
    void Restart();

    QString CellText(int row, HealthColumn column) const;
    // Negative while there is no earlier refresh to compare with.
    double ValuesPerSecond(int row) const;

private:
    struct Sample {
        uint64_t values = 0;
        int64_t ms = 0;
    };

    std::vector<LineHealthRow> rows_;
    std::vector<double> rates_;
    std::map<int, Sample> previous_;  // by station
};

}  // namespace vm
