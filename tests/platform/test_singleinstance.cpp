#include "platform/SingleInstance.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QUuid>

using namespace vm;

TEST(SingleInstanceTest, secondStartIsRefusedAndAsksTheFirstToShowItself)
{
    const QString name = "VRMN-test-" + QUuid::createUuid().toString(QUuid::Id128);
    SingleInstanceGuard first(name);
    ASSERT_TRUE(first.Acquire());
    QSignalSpy activated(&first, &SingleInstanceGuard::activateRequested);

    {
        SingleInstanceGuard second(name);
        EXPECT_FALSE(second.Acquire());
    }
    ASSERT_TRUE(activated.wait(5000));
    EXPECT_EQ(activated.count(), 1);
}

TEST(SingleInstanceTest, guardIsFreeAgainOnceTheFirstInstanceIsGone)
{
    const QString name = "VRMN-test-" + QUuid::createUuid().toString(QUuid::Id128);
    {
        SingleInstanceGuard first(name);
        ASSERT_TRUE(first.Acquire());
    }
    SingleInstanceGuard next(name);
    EXPECT_TRUE(next.Acquire());
}
