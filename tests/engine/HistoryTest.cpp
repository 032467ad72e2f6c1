#include "History.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace mandel {
namespace {

// View number n: n clicks from the full view, each at (n, n).
Location view(int n)
{
    Location l;
    l.palette = {1, 2, 3, 4, 150, 160, 170};
    l.clicks.assign(static_cast<std::size_t>(n), Click{static_cast<float>(n), static_cast<float>(n)});
    return l;
}

// What a window does with its history: a command goes to view `next`
// (kUndo and kRedo move between the views it left); the view gone to, or
// -1 for nothing.
constexpr int kUndo = -2, kRedo = -3;

struct Session {
    History history;
    int current = 0;

    int step(int next)
    {
        if (next >= 0) {
            history.record(view(current));
            return current = next;
        }
        const auto target = next == kUndo ? history.undo(view(current)) : history.redo(view(current));
        if (target)
            current = static_cast<int>(target->clicks.size());
        return target ? current : -1;
    }
};

struct Walk {
    const char* name;
    HistoryLimits limits;
    std::vector<int> steps;  // views gone to from view 0, or kUndo
    std::vector<int> undos;  // what undo gives then, until nothing (-1)
    std::vector<int> redos;  // what redo gives after that, until nothing
};

// Views of 10 clicks are what the byte limits below are counted in.
std::size_t tenClicks(std::size_t n) { return n * footprintOf(view(10)); }

const Walk kWalks[] = {
    {"NothingToUndoAtFirst", {}, {}, {-1}, {-1}},
    {"UndoAllThenRedoAll", {}, {1, 2, 3}, {2, 1, 0, -1}, {1, 2, 3, -1}},
    {"ANewCommandDropsTheRedoSteps", {}, {1, 2, 3, kUndo, kUndo, 7}, {1, 0, -1}, {1, 7, -1}},
    {"EntryLimitForgetsTheOldest", {3, 1 << 20}, {1, 2, 3, 4, 5}, {4, 3, 2, -1}, {3, 4, 5, -1}},
    {"ByteLimitForgetsTheOldest", {100, tenClicks(3)}, {10, 10, 10, 10, 10}, {10, 10, 10, -1}, {10, 10, 10, -1}},
    {"OneStepStaysPastTheByteLimit", {100, 1}, {1, 2, 3}, {2, -1}, {3, -1}},
    {"OneStepStaysAtAnEntryLimitOfOne", {1, 1 << 20}, {4, 5}, {4, -1}, {5, -1}},
};

void PrintTo(const Walk& row, std::ostream* os) { *os << row.name; }

class HistoryWalk : public ::testing::TestWithParam<Walk> {};

TEST_P(HistoryWalk, UndoesAndRedoesWhatItKeptWithinItsLimits)
{
    const Walk& w = GetParam();
    Session s{History(w.limits)};
    for (const int next : w.steps)
        s.step(next);
    std::vector<int> undos, redos;
    do
        undos.push_back(s.step(kUndo));
    while (undos.back() != -1 && undos.size() < 20);
    do
        redos.push_back(s.step(kRedo));
    while (redos.back() != -1 && redos.size() < 20);
    EXPECT_EQ(undos, w.undos);
    EXPECT_EQ(redos, w.redos);
    // Now every kept view is an undo step, and the bytes are theirs.
    std::size_t bytes = 0;
    for (const int n : undos)
        bytes += n >= 0 ? footprintOf(view(n)) : 0;
    EXPECT_EQ(s.history.bytes(), bytes);
    EXPECT_LE(s.history.undoSteps() + s.history.redoSteps(), std::max<std::size_t>(w.limits.entries, 1));
    if (s.history.undoSteps() > 1) {
        EXPECT_LE(bytes, w.limits.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(History, HistoryWalk, ::testing::ValuesIn(kWalks),
                         [](const auto& row) { return std::string(row.param.name); });

// Unbounded, a history moves like a list of every view with a cursor on the
// one shown; bounded, it forgets, and only its bounds are checked.
TEST(History, RandomWalksMoveLikeAListWithACursorAndStayWithinTheLimits)
{
    std::mt19937 rng(12);
    for (int trial = 0; trial < 60; ++trial) {
        const bool bounded = trial % 3 == 0;
        const HistoryLimits limits = bounded ? HistoryLimits{20, tenClicks(4) + footprintOf(view(40))} : HistoryLimits{};
        Session s{History(limits)};
        std::vector<int> views{0};
        std::size_t at = 0;
        for (int k = 0; k < 200; ++k) {
            const int op = std::uniform_int_distribution<int>(0, 2)(rng);
            const int next = op == 0 ? std::uniform_int_distribution<int>(1, 40)(rng) : op == 1 ? kUndo : kRedo;
            const int got = s.step(next);
            const std::string where = "trial " + std::to_string(trial) + " step " + std::to_string(k);
            if (bounded) {
                ASSERT_LE(s.history.bytes(), limits.bytes) << where;
                ASSERT_LE(s.history.undoSteps() + s.history.redoSteps(), limits.entries) << where;
                continue;
            }
            int want = -1;
            if (next == kUndo && at > 0)
                want = views[--at];
            else if (next == kRedo && at + 1 < views.size())
                want = views[++at];
            else if (next >= 0) {
                views.resize(++at);
                views.push_back(want = next);
            }
            ASSERT_EQ(got, want) << where;
            ASSERT_EQ(s.history.canUndo(), at > 0) << where;
            ASSERT_EQ(s.history.canRedo(), at + 1 < views.size()) << where;
        }
    }
}

} // namespace
} // namespace mandel
