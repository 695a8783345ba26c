#pragma once
// The graph monitor's form view: builds the widgets, forwards what the user does to the logic
// with the time it happened, runs the timers and shows what the logic holds. The rules of
// sampling, trigger, recording and the picture are the logic's; the samples are its store's.
// Commands are plain methods, so the frame's menu and the tests drive the same code.

#include "comm/CommManager.h"
#include "scope/ScopeForm.h"
#include "scope/ScopeLogic.h"
#include "scope/ScopeSettings.h"
#include "scope/StripChart.h"

#include <QElapsedTimer>
#include <QWidget>

#include <map>

class QPagedPaintDevice;
class QTimer;

namespace vm {
class ToolHost;
enum class MessageKind;
}  // namespace vm

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
    bool AnyConnected() const { return logic_.AnyConnected(); }
    bool Monitoring() const { return logic_.Monitoring(); }
    bool Recording() const { return logic_.Recording(); }
    bool TriggerRunning() const { return logic_.Trigger().Running(); }
    bool TriggerOccurred() const { return logic_.Trigger().Occurred(); }
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
    // 0, 10, ... 90 % of the span shown before the trigger point once it stopped the run.
    void SetPreTriggerShare(int percent);
    void SetPostTriggerSamples(int samples);

    // Graph Screen Setup page and the Setup menu.
    void SetCursorChannel(int channel);
    void SetScreenMode(StripChart::Mode mode);
    void SetAutoScale(bool on);
    void SetShowGrid(bool on);
    void SetShowLegend(bool on);
    void SetElapsedAxis(bool on);
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
    QString ScopeFilePath() const { return logic_.PicturePath(); }
    bool ExportPicture(const QString& path, StripChart::PictureFormat format);
    void CopyToClipboard();
    bool PrintTo(QPagedPaintDevice& device);
    // The print look: black text, grid and lines on white, each line its own dash pattern,
    // legend and grid shown, a date title.
    static StripChart::Look PrintLook(const StripChart::Look& user, const QDate& date);

    // Inspection.
    StripChart& Chart() { return *form_.chart; }
    ScopeLogic& Logic() { return logic_; }
    const ScopeSettings& Settings() const { return settings_; }
    QString DataLabel(int channel) const;
    QString RateText(int channel) const;
    QString ElapsedText() const;
    int RecordCounter() const { return logic_.RecordCounter(); }
    QString RecordFilePath() const { return logic_.RecordPath(); }
    bool PictureFromFile() const { return logic_.FromFile(); }
    QComboBox* StationList(int channel) const { return form_.rows[static_cast<size_t>(channel)].station; }
    QComboBox* AddressList(int channel) const { return form_.rows[static_cast<size_t>(channel)].address; }
    QTabWidget* Tabs() const { return form_.tabs; }

    // CommClient.
    void OnCommMonitor(int station, const CommReply& reply) override;
    Role CommRole() const override { return Role::GraphMonitor; }

signals:
    // Run states, graph watch or a file changed: the frame updates menus, panes and title.
    void StateChanged();

private:
    void Connect();
    void ShowSettings();
    void SetUpChart();
    void ApplySpan();
    void ResetChart();
    void ReadYAxisFields();
    void ShowChannel(int channel);
    void ShowLegends();
    void BuildOfflineView();
    void Register();
    void Unregister();
    void StopMonitorIfAllOff();
    void FinishTrigger();
    void CursorReadout();
    void SetGraphWatchState(bool on);
    void EnableTriggerControls(bool on);
    void UpdateLamps();
    void UpdateSwitchColours();
    // Keeps a chart colour in the settings and shows it; the switches stay readable on it.
    void ApplyColour(uint32_t& setting, uint32_t rgb, void (StripChart::*show)(const QColor&));
    void ChooseColour(int which);
    void ChooseRecordFile();
    void StartRecordTimer();
    void ChooseSnapshotFile();
    // Message boxes run a nested event loop: callers change their state first, then show.
    void ShowLater(MessageKind kind, const QString& text);
    void Show(MessageKind kind, const QString& text);
    int64_t NowMs() const { return clock_.elapsed(); }

    ToolHost& host_;
    ScopeSettings settings_;
    ScopeLogic logic_;
    ScopeForm form_;
    QElapsedTimer clock_;
    int elapsed_ = 0;
    int64_t ratesShownMs_ = 0;
    bool blink_ = false;
    bool building_ = false;  // lists are being filled: their signals are not user choices
    bool shutDown_ = false;
    std::map<int, std::vector<uint16_t>> registered_;

    QTimer* sampleTimer_ = nullptr;
    QTimer* secondTimer_ = nullptr;
    QTimer* recordTimer_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
};

}  // namespace vm::scope
