#pragma once
// The graph monitor's form: the strip chart, the status strip (lamps, elapsed time, record
// counter, span, scan and record period) and the three setup pages. It owns the sampling,
// trigger and recording run states, registers its channels with the communication manager and
// keeps the scope, record and picture files. Commands are plain methods, so the frame's menu
// and the tests drive the same code.

#include "comm/CommManager.h"
#include "scope/RecordFile.h"
#include "scope/ScopeFile.h"
#include "scope/ScopeLogic.h"
#include "scope/ScopeSettings.h"
#include "scope/StripChart.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <map>

class QCheckBox;
class QComboBox;
class QLabel;
class QLCDNumber;
class QLineEdit;
class QPagedPaintDevice;
class QPushButton;
class QTabWidget;
class QTimer;

namespace vm {
class ToolHost;
enum class MessageKind;
}

namespace vm::scope {

class CScopeView : public QWidget, public CommClient {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Graph Monitor";

    explicit CScopeView(ToolHost& host, QWidget* parent = nullptr);
    ~CScopeView() override;

    // Opening: settings read, chart set up, lists built, restored run states resumed.
    void InitialUpdate();
    // Closing: timers stopped, registrations removed, settings written, graph watch cleared.
    void Shutdown();

    // Run-state commands.
    bool StartMonitor();
    void StopMonitor();
    bool StartRecord();
    void StopRecord();
    bool StartTrigger();
    void StopTrigger();
    void ToggleGraphWatchMode();

    // What the menu enables.
    bool AnyConnected() const;
    bool Monitoring() const { return logic_.monitoring; }
    bool Recording() const { return recording_; }
    bool TriggerRunning() const { return logic_.trigger.Running(); }
    bool TriggerOccurred() const { return logic_.trigger.Occurred(); }
    bool GraphWatchSetting() const { return settings_.graphWatch; }

    // Ticks (the timers call them; tests may too).
    void SampleTick();
    void RecordTick();
    void ClockTick();

    // Channel Setup page.
    void SetChannelOn(int channel, bool on);
    void ChooseStation(int channel, int station);
    void ChooseAddress(int channel, int listIndex);
    void ChooseOffset(int channel, int index);
    void ChooseDivision(int channel, int index);
    // Station and address lists from the connection table (or the offline view of a file).
    void RebuildStationLists();

    // Status strip lists.
    void ChooseSpan(int index);
    void ChooseScan(int index);
    void ChooseRecordPeriod(int index);

    // Trigger & Record Setup page.
    void SetTriggerChannel(int channel);
    void SetTriggerEdge(int edge);
    void SetTriggerLevelText(const QString& text);
    void SetSnapshot(bool on);
    void SetRecordPath(const QString& path);
    void SetSnapshotPath(const QString& path, int formatIndex);
    void SetRecordTimeStamps(bool on);

    // Graph Screen Setup page and the Setup menu.
    void SetCursorChannel(int channel);
    void SetScreenMode(StripChart::Mode mode);
    void SetAutoScale(bool on);
    void SetShowGrid(bool on);
    void SetShowLegend(bool on);
    void SetYAxisTexts(const QString& minimum, const QString& maximum);
    void SetLineColour(int channel, uint32_t rgb);
    void SetLineWidthIndex(int channel, int index);
    void SetBackgroundColour(uint32_t rgb);
    void SetTextColour(uint32_t rgb);
    void SetGridColour(uint32_t rgb);
    void SetCursorColour(uint32_t rgb);
    void SetSecondCursor(bool on);

    // Files. Each reports through the host's messages and returns success.
    bool OpenScopeFile(const QString& path);
    bool SaveScopeFile(const QString& path);
    QString ScopeFilePath() const { return scopePath_; }
    void ForgetScopeFilePath() { scopePath_.clear(); }
    bool ExportPicture(const QString& path, StripChart::PictureFormat format);
    void CopyToClipboard();
    bool PrintTo(QPagedPaintDevice& device);
    // The print look: black text, grid and lines on white, legend and grid shown, a date title.
    static StripChart::Look PrintLook(const StripChart::Look& user, const QDate& date);

    // Inspection.
    StripChart& Chart() { return *chart_; }
    ScopeLogic& Logic() { return logic_; }
    const ScopeSettings& Settings() const { return settings_; }
    QString DataLabel(int channel) const;
    QString ElapsedText() const;
    int RecordCounter() const { return recordCounter_; }
    QString RecordFilePath() const { return record_.Path(); }
    bool PictureFromFile() const { return fromFile_; }
    QComboBox* StationList(int channel) const { return rows_[static_cast<size_t>(channel)].station; }
    QComboBox* AddressList(int channel) const { return rows_[static_cast<size_t>(channel)].address; }
    QTabWidget* Tabs() const { return tabs_; }

    // CommClient.
    void OnCommMonitor(int station, const CommReply& reply) override;
    Role CommRole() const override { return Role::kGraphMonitor; }

signals:
    // Run states, graph watch or a file changed: the frame updates menus, panes and title.
    void StateChanged();

private:
    struct Row {
        QCheckBox* on = nullptr;
        QLabel* lamp = nullptr;
        QComboBox* station = nullptr;
        QComboBox* address = nullptr;
        QLabel* data = nullptr;
        QComboBox* offset = nullptr;
        QComboBox* division = nullptr;
        QPushButton* colour = nullptr;
        QComboBox* width = nullptr;
    };

    void BuildForm();
    QWidget* BuildChannelPage();
    QWidget* BuildScreenPage();
    QWidget* BuildTriggerPage();
    void SetUpChart();
    void ApplySpan();
    void ResetChart();
    void ReadYAxisFields();
    void ApplyChannelToChart(int channel);
    void FillAddressList(int channel);
    void BuildOfflineView();
    void Register();
    void Unregister();
    void StopMonitorIfAllOff();
    bool OpenRecordFile();
    void CloseRecordFile();
    void FinishTrigger();
    void CursorReadout();
    void SetGraphWatchState(bool on);
    void EnableTriggerControls(bool on);
    void UpdateLamps();
    void UpdateSwitchColours();
    // Message boxes run a nested event loop: callers change their state first, then show.
    void ShowLater(MessageKind kind, const QString& text);
    void Show(MessageKind kind, const QString& text);
    const StationRecord& Record(int station) const;
    ScopePicture TakePicture() const;
    std::array<RecordFile::Column, kChannelCount> RecordColumns() const;

    ToolHost& host_;
    ScopeSettings settings_;
    ScopeLogic logic_;
    RecordFile record_;
    bool recording_ = false;
    int recordCounter_ = 0;
    int elapsed_ = 0;
    bool blink_ = false;
    bool fromFile_ = false;
    bool building_ = false;  // lists are being filled: their signals are not user choices
    bool shutDown_ = false;
    QString scopePath_;
    std::map<int, std::vector<uint16_t>> registered_;
    int64_t droppedAtTrigger_ = 0;

    StripChart* chart_ = nullptr;
    QLabel* recordLamp_ = nullptr;
    QLabel* triggerLamp_ = nullptr;
    QLabel* elapsedText_ = nullptr;
    QLCDNumber* counter_ = nullptr;
    QComboBox* span_ = nullptr;
    QComboBox* scan_ = nullptr;
    QComboBox* recordPeriod_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::array<Row, kChannelCount> rows_;
    // Graph Screen Setup.
    QCheckBox* autoScale_ = nullptr;
    QLineEdit* yMin_ = nullptr;
    QLineEdit* yMax_ = nullptr;
    std::array<QPushButton*, 4> otherColours_{};
    QCheckBox* showGrid_ = nullptr;
    QCheckBox* showLegend_ = nullptr;
    QComboBox* cursorList_ = nullptr;
    QCheckBox* secondCursor_ = nullptr;
    // Trigger & Record Setup.
    QComboBox* triggerChannel_ = nullptr;
    QLineEdit* triggerValue_ = nullptr;
    QComboBox* edge_ = nullptr;
    QCheckBox* saveImage_ = nullptr;
    QLineEdit* recordPathField_ = nullptr;
    QLineEdit* snapshotPathField_ = nullptr;
    QPushButton* recordPathButton_ = nullptr;
    QPushButton* snapshotPathButton_ = nullptr;
    QCheckBox* timeStamps_ = nullptr;

    QTimer* sampleTimer_ = nullptr;
    QTimer* clock_ = nullptr;
    QTimer* recordTimer_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
};

}  // namespace vm::scope
