#pragma once
// The keypad window of one station: a small fixed-size frame with the "&Operation" menu (the three
// run commands and Exit), the keypad form, and a status bar that keeps a failed run command's
// error and shows "Graph Watch Mode" while the graph monitor owns the line.

#include "frames/FloatFrame.h"

class QLabel;

namespace vm {

class CKPDView;

class CKPDFrame : public CFloatFrame {
    Q_OBJECT
public:
    CKPDFrame(ToolHost& host, int station);

    CKPDView* View() const { return view_; }
    static constexpr int kCmdForwardRun = 1;
    static constexpr int kCmdReverseRun = 2;
    static constexpr int kCmdStopReset = 3;

    QAction* ForwardAction() const { return forward_; }
    QAction* ReverseAction() const { return reverse_; }
    QAction* StopAction() const { return stop_; }
    QLabel* MessagePane() const { return message_; }
    QLabel* GraphWatchPane() const { return graphWatch_; }

    void InitialUpdate() override;

protected:
    void OnInvDisconnected(int station) override;
    void OnInvNameChanged(int station) override;
    void OnGraphWatchChanged() override;
    bool AboutToClose() override;

private:
    void UpdateCommands();

    CKPDView* view_ = nullptr;
    QAction* forward_ = nullptr;
    QAction* reverse_ = nullptr;
    QAction* stop_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* graphWatch_ = nullptr;
};

}  // namespace vm
