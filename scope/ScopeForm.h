#pragma once
// The graph monitor's widgets and their layout: the strip chart, the status strip (lamps,
// elapsed time, record counter, span, scan and record period) and the three setup pages. Only
// building; the view connects them and decides what they show.

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLCDNumber;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace vm::scope {

class StripChart;

struct ScopeForm {
    struct Row {
        QCheckBox* on = nullptr;
        QLabel* lamp = nullptr;
        QComboBox* station = nullptr;
        QComboBox* address = nullptr;
        QLabel* data = nullptr;
        QLabel* rate = nullptr;
        QComboBox* offset = nullptr;
        QComboBox* division = nullptr;
        QPushButton* colour = nullptr;
        QComboBox* width = nullptr;
    };

    StripChart* chart = nullptr;
    QLabel* recordLamp = nullptr;
    QLabel* triggerLamp = nullptr;
    QLabel* elapsedText = nullptr;
    QLCDNumber* counter = nullptr;
    QComboBox* span = nullptr;
    QComboBox* scan = nullptr;
    QComboBox* recordPeriod = nullptr;
    QTabWidget* tabs = nullptr;
    std::array<Row, 4> rows;
    // Graph Screen Setup.
    QCheckBox* autoScale = nullptr;
    QLineEdit* yMin = nullptr;
    QLineEdit* yMax = nullptr;
    std::array<QPushButton*, 4> otherColours{};
    QCheckBox* showGrid = nullptr;
    QCheckBox* showLegend = nullptr;
    QComboBox* cursorList = nullptr;
    QCheckBox* secondCursor = nullptr;
    QCheckBox* elapsedAxis = nullptr;
    // Trigger & Record Setup.
    QComboBox* triggerChannel = nullptr;
    QLineEdit* triggerValue = nullptr;
    QComboBox* edge = nullptr;
    QCheckBox* saveImage = nullptr;
    QComboBox* preTrigger = nullptr;
    QSpinBox* postTrigger = nullptr;
    QLineEdit* recordPathField = nullptr;
    QLineEdit* snapshotPathField = nullptr;
    QPushButton* recordPathButton = nullptr;
    QPushButton* snapshotPathButton = nullptr;
    QCheckBox* timeStamps = nullptr;

    void Build(QWidget* owner);

private:
    QWidget* ChannelPage(QWidget* owner);
    QWidget* ScreenPage(QWidget* owner);
    QWidget* TriggerPage(QWidget* owner);
};

}  // namespace vm::scope
