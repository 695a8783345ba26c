// The frame's own modal bookkeeping: a close under a dialog, a box or a nested loop ends them,
// waits for the code that ran them to return, and only then closes and frees the frame.

#include "frames/FloatFrame.h"
#include "frames/ToolFrameList.h"
#include "tests/support/FakeToolHost.h"
#include "tests/support/ModalProbe.h"

#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vm;

namespace {

class ModalFrame : public ::testing::Test {
protected:
    ModalFrame()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        host.boxes = true;
        host.frames.RegisterKind(kKindKeypad,
                                 [](ToolHost& h, int s) { return new CFloatFrame(h, kKindKeypad, s); });
        frame = host.frames.Open(kKindKeypad, 3);
        guard = frame;
    }
    // Runs `body` from the event loop; closes the frame once `top` is on top.
    bool CloseUnder(const std::function<void()>& body, std::function<bool(QWidget*)> top)
    {
        return test::RunUnderModal(body, {{std::move(top), [this](QWidget*) { frame->CloseFrame(); }}},
                                   [this] { return guard.isNull(); });
    }

    QTemporaryDir dir;
    test::FakeToolHost host;
    CFloatFrame* frame = nullptr;
    QPointer<CFloatFrame> guard;
};

TEST_F(ModalFrame, aCloseUnderADialogEndsItAndWaitsForTheCodeThatRanIt)
{
    int result = -1;
    bool aliveAfter = false, closeSeen = false, canClose = true;
    int second = -1;
    ASSERT_TRUE(CloseUnder(
        [&] {
            QDialog dialog(frame);
            QTimer::singleShot(0, &dialog, [&] { canClose = frame->CanCloseFrame(); });
            result = frame->RunModal(dialog);
            aliveAfter = !guard.isNull() && host.frames.Exists(kKindKeypad, 3);
            closeSeen = frame->CloseRequested();
            QDialog another(frame);
            second = frame->RunModal(another);  // refused at once: the frame is going
        },
        test::TopIs<QDialog>()));
    EXPECT_FALSE(canClose);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(aliveAfter);
    EXPECT_TRUE(closeSeen);
    EXPECT_EQ(second, QDialog::Rejected);
    EXPECT_FALSE(host.frames.Exists(kKindKeypad, 3));
}

TEST_F(ModalFrame, aBoxOverADialogAndANestedLoopEndTogether)
{
    bool answer = true, loopEnded = false;
    ASSERT_TRUE(CloseUnder(
        [&] {
            QDialog dialog(frame);
            QTimer::singleShot(0, &dialog, [&] { answer = frame->Messages().AskYesNo("Go on ?", "Test"); });
            frame->RunModal(dialog);
        },
        test::TopIs<QMessageBox>()));
    EXPECT_FALSE(answer);  // an ended question answers No

    frame = host.frames.Open(kKindKeypad, 3);
    guard = frame;
    const bool ok = test::RunUnderModal(
        [&] {
            QEventLoop loop;
            CFloatFrame::ModalScope scope(frame, &loop);
            QTimer::singleShot(0, frame, [&] { frame->CloseFrame(); });
            loop.exec();
            loopEnded = true;
        },
        {}, [&] { return guard.isNull(); });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(loopEnded);
}

TEST_F(ModalFrame, boxesShowTheirKindAndAClosingFramePassesItsMessageToTheHost)
{
    std::vector<QMessageBox::Icon> icons;
    const bool ok = test::RunUnderModal(
        [&] {
            frame->Messages().Show(MessageKind::Plain, "plain", "Test");
            frame->Messages().Show(MessageKind::Error, "error", "Test");
        },
        {{[](QWidget* w) {
              return qobject_cast<QMessageBox*>(w) && static_cast<QMessageBox*>(w)->text() == "plain";
          },
          [&](QWidget* w) {
              icons.push_back(static_cast<QMessageBox*>(w)->icon());
              static_cast<QMessageBox*>(w)->accept();
          }},
         {[](QWidget* w) {
              return qobject_cast<QMessageBox*>(w) && static_cast<QMessageBox*>(w)->text() == "error";
          },
          [&](QWidget* w) {
              icons.push_back(static_cast<QMessageBox*>(w)->icon());
              static_cast<QMessageBox*>(w)->accept();
          }}},
        [] { return true; });
    EXPECT_TRUE(ok);
    EXPECT_EQ(icons, (std::vector<QMessageBox::Icon>{QMessageBox::NoIcon, QMessageBox::Critical}));

    // A message raised while the frame closes reaches the host's sink afterwards.
    ASSERT_TRUE(CloseUnder(
        [&] {
            QDialog dialog(frame);
            frame->RunModal(dialog);
            frame->Messages().Show(MessageKind::Error, "lost drive", "Test");
        },
        test::TopIs<QDialog>()));
    QCoreApplication::processEvents();
    ASSERT_EQ(host.messages.Entries().size(), 1u);
    EXPECT_EQ(host.messages.Entries()[0].text, "lost drive");
}

}  // namespace
