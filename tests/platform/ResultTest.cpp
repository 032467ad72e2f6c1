#include "Result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

namespace mandel {
namespace {

Result<int> half(int v)
{
    if (v % 2 != 0)
        return fail(std::to_string(v) + " is odd", EDOM);
    return v / 2;
}

TEST(Result, HoldsEitherTheValueOrTheReasonAndCode)
{
    const auto even = half(8);
    ASSERT_TRUE(even.ok());
    EXPECT_EQ(*even, 4);

    const auto odd = half(7);
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.error(), "7 is odd");
    EXPECT_EQ(odd.failure().code, EDOM);

    // Values that only move, and values that are themselves strings.
    Result<std::unique_ptr<int>> owned(std::make_unique<int>(3));
    const std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 3);
    const Result<std::string> text(std::string("a reason is not a failure"));
    EXPECT_TRUE(text.ok());

    const Status done;
    EXPECT_TRUE(done.ok());
    const Status refused = fail("no room", ENOSPC);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.failure().code, ENOSPC);
}

} // namespace
} // namespace mandel
