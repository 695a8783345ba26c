// Messages raised inside the line's callbacks: shown later, one at a time, each cause once.
#include "platform/QueuedMessageSink.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace vm;

namespace {

// Stands for a modal box: while one is "open", the event loop runs and may raise more messages.
struct NestingSink : MessageSink {
    void Show(MessageKind, const std::string& text, const std::string&) override
    {
        shown.push_back(text);
        maxOpen = std::max(maxOpen, ++open);
        if (whileOpen)
            whileOpen();
        QCoreApplication::processEvents();
        --open;
    }
    bool AskYesNo(const std::string& text, const std::string&) override
    {
        shown.push_back("? " + text);
        return true;
    }

    std::vector<std::string> shown;
    std::function<void()> whileOpen;
    int open = 0;
    int maxOpen = 0;
};

}  // namespace

TEST(QueuedMessageSink, messagesWaitForTheEventLoopAndRepeatsOfACauseAreDropped)
{
    NestingSink boxes;
    QueuedMessageSink queued(&boxes);
    queued.Show(MessageKind::Error, "disk full", "Varimon");
    queued.Show(MessageKind::Error, "disk full", "Varimon");
    queued.Show(MessageKind::Error, "port gone", "Varimon");
    EXPECT_TRUE(boxes.shown.empty());  // not from inside the caller
    EXPECT_EQ(queued.Waiting(), 2u);
    // A question needs its answer now.
    EXPECT_TRUE(queued.AskYesNo("Erase all fault history ?", "Varimon"));
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.shown,
              (std::vector<std::string>{"? Erase all fault history ?", "disk full", "port gone"}));
}

TEST(QueuedMessageSink, messagesRaisedWhileABoxIsOpenFollowItInsteadOfStacking)
{
    NestingSink boxes;
    QueuedMessageSink queued(&boxes);
    int raised = 0;
    boxes.whileOpen = [&] {
        if (raised++ == 0) {
            queued.Show(MessageKind::Error, "disk full", "Varimon");  // the one on screen
            queued.Show(MessageKind::Error, "log full", "Varimon");
        }
    };
    queued.Show(MessageKind::Error, "disk full", "Varimon");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.shown, (std::vector<std::string>{"disk full", "log full"}));
    EXPECT_EQ(boxes.maxOpen, 1);
    EXPECT_EQ(queued.Waiting(), 0u);
}
