// The graph monitor told to close (the main window closing, "E&xit") or told that a station is
// gone while one of its dialogs runs: the dialog ends first, the code that ran it returns over a
// live window, and the window is freed afterwards. ASan checks that nothing touches it after.

#include "../support/FakeToolHost.h"
#include "../support/LineHarness.h"
#include "../support/ModalProbe.h"
#include "scope/ScopeFrame.h"
#include "scope/ScopeKind.h"
#include "scope/ScopeView.h"

#include <QAction>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vm;
using namespace vm::scope;

namespace {

class ScopeCloseUnderDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        host.folders.temp = dir.path();
        host.boxes = true;
        line.AddStations({"3:QM-A20"});
        StationRecord& r = host.Record(3);
        r.present = r.connected = 1;
        r.model = line.line.Station(3)->Identity().model;
        r.version = line.line.Station(3)->Identity().version;
        RegisterScopeKind(host.frames);
    }
    CScopeFrame* Open()
    {
        auto* f = static_cast<CScopeFrame*>(host.frames.Open(kKindGraphMonitor, kGraphMonitorKey));
        guard = f;
        return f;
    }
    // Under the dialog the command leads to: the station drops (the window stays and carries on),
    // then the window is closed (it goes once the dialog has returned).
    void Expect(const std::function<void(CScopeFrame&)>& command, std::function<bool(QWidget*)> top)
    {
        CScopeFrame* f = Open();
        ASSERT_TRUE(f);
        bool returned = false;
        const bool ok = test::RunUnderModal(
            [&] {
                command(*f);
                returned = true;
            },
            {{top,
              [&](QWidget*) {
                  host.Record(3).present = host.Record(3).connected = 0;
                  host.frames.Broadcast(ToolNotice::InvDisconnected, 3);
                  QTimer::singleShot(0, f, [f] { f->CloseFrame(); });
              }}},
            [&] { return guard.isNull(); }, [&] { line.Step(1); });
        EXPECT_TRUE(ok);
        EXPECT_TRUE(returned);
        EXPECT_FALSE(host.frames.Exists(kKindGraphMonitor, kGraphMonitorKey));
        host.Record(3).present = host.Record(3).connected = 1;
    }

    QTemporaryDir dir;
    test::LineHarness line;
    test::FakeToolHost host{&line.manager};
    QPointer<CScopeFrame> guard;
};

}  // namespace

TEST_F(ScopeCloseUnderDialog, fileDialogsOfTheMenu)
{
    for (int command : {32789 /* open */, 32791 /* save as */, 32806 /* picture */}) {
        SCOPED_TRACE(command);
        Expect([command](CScopeFrame& f) { f.CommandAction(command)->trigger(); },
               test::TopIs<QFileDialog>());
    }
}

TEST_F(ScopeCloseUnderDialog, theMessageBoxOfTheViewAndItsColourDialog)
{
    // "Select one more channel to monitor" with no channel on.
    Expect([](CScopeFrame& f) { f.View().StartMonitor(); }, test::TopIs<QMessageBox>());
    Expect(
        [](CScopeFrame& f) {
            for (QPushButton* b : f.View().findChildren<QPushButton*>())
                if (b->text().isEmpty() && b->isEnabled()) {
                    b->click();  // the first colour button
                    return;
                }
        },
        test::TopIs<QColorDialog>());
}
