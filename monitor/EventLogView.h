#pragma once
// The window inside the "Event Log" pane: start and stop buttons over the latest event lines,
// the newest at the bottom, selected and scrolled into view.

#include "monitor/EventLog.h"

#include <QWidget>

class QAction;
class QListWidget;
class QToolBar;

namespace vm {

class CEventLogView final : public QWidget {
    Q_OBJECT
public:
    // start and stop are the main window's commands, so their shortcuts and enabling are shared.
    CEventLogView(const EventLog& log, QAction* start, QAction* stop, QWidget* parent = nullptr);

    // A line the log has just kept; the oldest goes once there are more than the log keeps.
    void AppendLine(const QString& line);

    QListWidget& List() const { return *list_; }
    QToolBar& ToolBar() const { return *toolBar_; }

private:
    QToolBar* toolBar_ = nullptr;
    QListWidget* list_ = nullptr;
};

}  // namespace vm
