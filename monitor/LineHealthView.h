#pragma once
// The "Line Health" page of the main window: the line health table, refreshed once a second,
// and a Reset button that zeroes the counters. What it shows comes from the functions it is given.

#include "monitor/LineHealthModel.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableView;

namespace vm {

class LineHealthView final : public QWidget {
    Q_OBJECT
public:
    using RowSource = std::function<std::vector<LineHealthRow>()>;
    using ResetCounters = std::function<void()>;
    using Clock = std::function<int64_t()>;  // milliseconds, monotonic

    LineHealthView(RowSource rows, ResetCounters reset, QWidget* parent = nullptr);

    void SetClock(Clock nowMs) { clock_ = std::move(nowMs); }
    // A line about the line as a whole, read at each refresh; hidden while empty.
    void SetNoteSource(std::function<QString()> note) { noteSource_ = std::move(note); }
    QString NoteText() const;
    // Reads the rows now (the timer does it every second).
    void Refresh();
    // Zeroes the counters and starts the rates over.
    void Reset();

    LineHealthModel& Model() { return model_; }
    QTableView& Table() { return *table_; }
    QPushButton& ResetButton() { return *resetButton_; }
    QTimer& RefreshTimer() { return timer_; }

private:
    RowSource rows_;
    ResetCounters reset_;
    Clock clock_;
    LineHealthModel model_;
    QTableView* table_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QLabel* since_ = nullptr;
    QLabel* note_ = nullptr;
    std::function<QString()> noteSource_;
    QTimer timer_;
};

}  // namespace vm
