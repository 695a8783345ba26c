// The line-paced alarm: never early, replaced by a new moment, silent once stopped.
#include "comm/CommPort.h"
#include "platform/PreciseAlarm.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace vm;

TEST(PreciseAlarm, firesOnceNotBeforeItsMomentAndANewMomentReplacesTheOld)
{
    PreciseAlarm alarm;
    int64_t firedAt = 0;
    int fired = 0;
    QObject::connect(&alarm, &PreciseAlarm::timeout, [&] {
        firedAt = SteadyMicroseconds();
        ++fired;
    });

    // A sub-millisecond moment: a millisecond timer would round it, this one must keep it.
    int64_t due = SteadyMicroseconds() + 1500;
    alarm.StartAt(due);
    EXPECT_TRUE(alarm.IsActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired == 1; }, 5000));
    EXPECT_GE(firedAt, due);
    EXPECT_FALSE(alarm.IsActive());

    // Set far off, then brought forward: fires once, at the second moment.
    alarm.StartAt(SteadyMicroseconds() + 60'000'000);
    due = SteadyMicroseconds() + 700;
    alarm.StartAt(due);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired == 2; }, 5000));
    EXPECT_GE(firedAt, due);

    // A moment already passed fires at the next turn of the loop.
    alarm.StartAt(SteadyMicroseconds() - 5000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired == 3; }, 5000));
    EXPECT_FALSE(alarm.IsActive());
    // Nothing is left over from the three: a later alarm fires alone.
    PreciseAlarm later;
    QSignalSpy laterSpy(&later, &PreciseAlarm::timeout);
    later.StartAt(SteadyMicroseconds() + 2000);
    ASSERT_TRUE(laterSpy.wait(5000));
    EXPECT_EQ(fired, 3);
}

TEST(PreciseAlarm, stoppedAlarmStaysSilentAfterItsMoment)
{
    PreciseAlarm stopped, witness;
    QSignalSpy stoppedSpy(&stopped, &PreciseAlarm::timeout), witnessSpy(&witness, &PreciseAlarm::timeout);
    const int64_t now = SteadyMicroseconds();
    stopped.StartAt(now + 1000);
    stopped.Stop();
    EXPECT_FALSE(stopped.IsActive());
    // The witness fires well after the stopped alarm's moment.
    witness.StartAt(now + 4000);
    ASSERT_TRUE(witnessSpy.wait(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(stoppedSpy.count(), 0);
}
