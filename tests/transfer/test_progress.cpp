// The whole-run progress figure: consecutive shares by their request counts, estimates replaced
// by exact counts, never going back.

#include "transfer/ProgressPlan.h"

#include <gtest/gtest.h>

namespace vm {
namespace {

// Steps through a share, checking that the figure never falls; the figure at its end.
int StepThrough(ProgressPlan& plan, int steps, int& last)
{
    for (int i = 0; i < steps; ++i) {
        plan.Step();
        EXPECT_GE(plan.Percent(), last);
        last = plan.Percent();
    }
    return last;
}

TEST(ProgressPlan, backupWriteAndVerifyRunAsOneBarSharedByTheirCounts)
{
    ProgressPlan plan;
    const int backup = plan.Add(200);
    const int write = plan.Add(100);
    const int verify = plan.Add(100);
    EXPECT_EQ(plan.Total(), 400);
    int last = 0;
    plan.Begin(backup, 200);
    EXPECT_EQ(StepThrough(plan, 200, last), 50);
    plan.Begin(write, 100);
    EXPECT_EQ(plan.Percent(), 50);  // the next phase goes on from there, not from 0
    EXPECT_EQ(StepThrough(plan, 50, last), 62);
    EXPECT_EQ(StepThrough(plan, 50, last), 75);
    plan.Begin(verify, 100);
    EXPECT_EQ(StepThrough(plan, 99, last), 99);
    plan.Step();
    EXPECT_EQ(plan.Percent(), 100);
    EXPECT_EQ(plan.Done(), plan.Total());
    plan.Step();  // a step past the plan changes nothing
    EXPECT_EQ(plan.Done(), 400);
}

TEST(ProgressPlan, smallerExactCountsAndPassedOverSharesMoveTheFigureOnNeverBack)
{
    ProgressPlan plan;
    const int check = plan.Add(1);
    plan.Add(1);  // the leading write, passed over below
    const int write = plan.Add(10);
    const int verify = plan.Add(10);
    int last = 0;
    plan.Begin(check, 1);
    StepThrough(plan, 1, last);
    EXPECT_EQ(last, 4);  // 1 of 22
    // The leading write was dropped, and only 4 of the 10 pairs are writable.
    plan.Begin(write, 4);
    EXPECT_EQ(plan.Total(), 15);
    EXPECT_EQ(plan.Done(), 1);
    EXPECT_GE(plan.Percent(), last);
    StepThrough(plan, 4, last);
    EXPECT_EQ(plan.Done(), 5);
    // Two of them were refused: two to verify.
    plan.Begin(verify, 2);
    EXPECT_EQ(plan.Total(), 7);
    EXPECT_EQ(plan.Percent(), 71);  // 5 of 7, up from 5 of 15
    StepThrough(plan, 2, last);
    EXPECT_EQ(plan.Percent(), 100);

    // A share larger than planned makes the figure wait, not fall.
    plan.Reset();
    const int a = plan.Add(2);
    const int b = plan.Add(2);
    plan.Begin(a, 2);
    plan.Step();
    plan.Step();
    EXPECT_EQ(plan.Percent(), 50);
    plan.Begin(b, 8);
    EXPECT_EQ(plan.Percent(), 50);
    plan.Step();
    EXPECT_EQ(plan.Percent(), 50);  // 3 of 10 is less than what was shown
    last = 50;
    StepThrough(plan, 7, last);
    EXPECT_EQ(plan.Percent(), 100);
}

TEST(ProgressPlan, anEmptyOrStoppedRunShowsWhatWasDoneAndFinishFillsTheBar)
{
    ProgressPlan plan;
    EXPECT_EQ(plan.Percent(), 0);
    plan.Step();  // nothing begun
    EXPECT_EQ(plan.Done(), 0);
    const int only = plan.Add(0);
    plan.Begin(only, 0);
    EXPECT_EQ(plan.Percent(), 0);
    plan.Finish();
    EXPECT_EQ(plan.Percent(), 100);

    plan.Reset();
    EXPECT_EQ(plan.Percent(), 0);
    EXPECT_EQ(plan.Total(), 0);
    const int first = plan.Add(4);
    const int second = plan.Add(4);
    plan.Begin(second, 4);
    plan.Begin(first, 4);  // phases never go back: ignored
    plan.Step();
    EXPECT_EQ(plan.Done(), 1);
    EXPECT_EQ(plan.Total(), 4);
    EXPECT_EQ(plan.Percent(), 25);
}

}  // namespace
}  // namespace vm
