#pragma once
// The graph monitor's floating frame (kind 133, key 1): the File, Operation and Setup menus with
// their keys and enabling rules, the status bar panes for graph watch mode and the trigger or
// recording state, and the file dialogs around the view's file commands.

#include "frames/FloatFrame.h"
#include "scope/StripChart.h"

#include <map>

class QAction;
class QLabel;

namespace vm::scope {

class CScopeView;

class CScopeFrame : public CFloatFrame {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Graph Monitor";

    explicit CScopeFrame(ToolHost& host);
    ~CScopeFrame() override;

    CScopeView& View() { return *view_; }
    void InitialUpdate() override;
    bool OpenRecentFile(const QString& path) override;

    // Menu state, refreshed after every state change (the keys act on it too).
    void UpdateCommands();
    QString TriggerPaneText() const;
    bool GraphWatchPaneShown() const;

protected:
    bool AllStations() const override { return true; }
    void OnInvConnected(int station) override;
    void OnInvDisconnected(int station) override;
    void OnGraphWatchChanged() override;
    bool AboutToClose() override;

private:
    void BuildMenus();
    void OpenScopeFile();
    void SaveScopeFile();
    void SaveScopeFileAs();
    void ExportPicture(StripChart::PictureFormat format);
    void Print();
    void UpdatePanes();
    void UpdateTitle();

    CScopeView* view_ = nullptr;
    QLabel* watchPane_ = nullptr;
    QLabel* statePane_ = nullptr;
};

}  // namespace vm::scope
