#pragma once
// Checks of a Result in tests: the text it complains of, and the value of one that must succeed.

#include "base/Result.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vm::test {

// Empty for a success, so that a test compares it with the complaint it expects.
template <typename T>
std::string Complaint(const Result<T>& result)
{
    if (result)
        return {};
    return result.Text().empty() ? "(a failure without a text)" : result.Text();
}

// A failure fails the test and gives a default value.
template <typename T>
T Parsed(Result<T> result)
{
    EXPECT_TRUE(result) << result.Text();
    return result ? std::move(result).Value() : T{};
}

}  // namespace vm::test
