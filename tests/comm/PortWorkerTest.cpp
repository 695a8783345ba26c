// The piece both ports stand on: the frame mailbox, the worker thread, the write loop and the
// one-warning-per-call rule.
#include "comm/PortWorker.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

using namespace vm;

namespace {

std::vector<uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

struct SocketPair {
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd), 0); }
    ~SocketPair()
    {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
    int fd[2] = {-1, -1};
};

}  // namespace

TEST(PortWorker, newerFrameReplacesOneNotYetTakenAndTheWorkerIsWokenForIt)
{
    PortWorker worker;
    RxQueue rx;
    ASSERT_TRUE(worker.Open());
    std::promise<std::vector<uint8_t>> sent;
    std::atomic<bool> once{false};
    worker.Post(Bytes("01R"), rx);
    worker.Post(Bytes("02R"), rx);
    ASSERT_TRUE(worker.Start({[] { return -1; }, [](short) {},
                              [&] {
                                  if (std::optional<PortWorker::Frame> frame = worker.Take();
                                      frame && !once.exchange(true))
                                      sent.set_value(frame->bytes);
                              },
                              [](int) {}}));
    // Started after both posts: the wake-up they left behind sends the newer one only.
    std::future<std::vector<uint8_t>> got = sent.get_future();
    ASSERT_EQ(got.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(got.get(), Bytes("02R"));
    worker.Stop();
    EXPECT_FALSE(worker.Take());
    // Closing drops a frame that was never taken.
    worker.Post(Bytes("03R"), rx);
    worker.Stop();
    EXPECT_FALSE(worker.Take());
}

TEST(PortWorker, writeLoopTellsDoneFailedAndNoRoomApart)
{
    PortWorker worker;
    {
        SocketPair pair;
        const std::vector<uint8_t> frame = Bytes("010300000001840A");
        EXPECT_EQ(worker.WriteAll(pair.fd[0], frame, true).how, PortWorker::Write::Done);
        uint8_t got[64];
        EXPECT_EQ(::read(pair.fd[1], got, sizeof got), static_cast<ssize_t>(frame.size()));
        // The far end gone: a failure with its errno, and no SIGPIPE ending the program.
        ::close(pair.fd[1]);
        pair.fd[1] = -1;
        const PortWorker::WriteEnd end = worker.WriteAll(pair.fd[0], frame, true);
        EXPECT_EQ(end.how, PortWorker::Write::Failed);
        EXPECT_EQ(end.err, EPIPE);
    }
    {
        // A peer that takes nothing: the write gives up after a second without room.
        SocketPair pair;
        const std::vector<uint8_t> flood(4 << 20, 0x55);
        EXPECT_EQ(worker.WriteAll(pair.fd[0], flood, false).how, PortWorker::Write::NoRoom);
    }
}

TEST(PortWorker, eachFailingCallWarnsOnceUntilItSucceedsAgain)
{
    PortWorker worker;
    EXPECT_TRUE(worker.FirstFailure("WriteFile()"));
    EXPECT_FALSE(worker.FirstFailure("WriteFile()"));
    EXPECT_TRUE(worker.FirstFailure("ReadFile()"));
    worker.Cleared("WriteFile()");
    EXPECT_TRUE(worker.FirstFailure("WriteFile()"));
    EXPECT_FALSE(worker.FirstFailure("ReadFile()"));
    // A new opening starts with a clean slate.
    worker.ForgetFailures();
    EXPECT_TRUE(worker.FirstFailure("ReadFile()"));
}
