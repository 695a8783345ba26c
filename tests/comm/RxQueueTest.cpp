// The hand-over queue between a port's reader and the manager's thread.
#include "comm/RxQueue.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vm;

TEST(RxQueue, takingEverythingReArmsTheNotifierForBytesThatArriveWhileTheOwnerIsBusy)
{
    RxQueue q;
    int notices = 0;
    q.SetNotifier([&] { ++notices; });
    const uint8_t a[] = {1, 2, 3};
    q.Push(a);
    q.Push(a);  // still announced: no second notice
    EXPECT_EQ(notices, 1);

    std::vector<uint8_t> taken;
    EXPECT_EQ(q.TakeAll(taken), 6u);
    EXPECT_EQ(taken, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3}));
    // The owner is still feeding those six (perhaps in a nested event loop): a new byte must be
    // announced again, or it waits until the owner happens to read the queue empty.
    const uint8_t b[] = {9};
    q.Push(b);
    EXPECT_EQ(notices, 2);
    taken.clear();
    EXPECT_EQ(q.TakeAll(taken), 1u);
    EXPECT_EQ(taken, std::vector<uint8_t>{9});
}

TEST(RxQueue, nothingIsTakenWhileAFrameIsGoingOut)
{
    RxQueue q;
    const uint8_t a[] = {1, 2};
    q.Push(a);
    const uint64_t ticket = q.BeginDiscard();
    q.Push(a);
    std::vector<uint8_t> taken;
    EXPECT_EQ(q.TakeAll(taken), 0u);
    q.EndDiscard(ticket);
    q.Push(a);
    EXPECT_EQ(q.TakeAll(taken), 2u);
}
