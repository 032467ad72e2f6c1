#include "History.h"

#include <gtest/gtest.h>

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

// The number of a view made by view(n); -1 for nothing.
int numberOf(const std::optional<Location>& l)
{
    return l ? static_cast<int>(l->clicks.size()) : -1;
}

// What a window does with its history: a command goes to a new view, undo
// and redo move between the views it left.
struct Session {
    History history;
    int current = 0;

    explicit Session(HistoryLimits limits = {}) : history(limits) {}
    void command(int next)
    {
        history.record(view(current));
        current = next;
    }
    int undo()
    {
        const auto target = history.undo(view(current));
        if (target)
            current = numberOf(target);
        return numberOf(target);
    }
    int redo()
    {
        const auto target = history.redo(view(current));
        if (target)
            current = numberOf(target);
        return numberOf(target);
    }
};

// The obvious model: every view in order and the index of the one shown.
struct Model {
    std::vector<int> views{0};
    std::size_t at = 0;
    void command(int next)
    {
        views.resize(at + 1);
        views.push_back(next);
        ++at;
    }
    int undo() { return at == 0 ? -1 : views[--at]; }
    int redo() { return at + 1 == views.size() ? -1 : views[++at]; }
};

TEST(History, UnboundedItMovesLikeAListWithACursor)
{
    std::mt19937 rng(12);
    for (int trial = 0; trial < 50; ++trial) {
        Session s;
        Model m;
        for (int step = 0; step < 200; ++step) {
            const int op = std::uniform_int_distribution<int>(0, 2)(rng);
            const std::string where = "trial " + std::to_string(trial) + " step " + std::to_string(step);
            if (op == 0) {
                const int next = std::uniform_int_distribution<int>(1, 40)(rng);
                s.command(next);
                m.command(next);
            } else if (op == 1) {
                ASSERT_EQ(s.undo(), m.undo()) << where;
            } else {
                ASSERT_EQ(s.redo(), m.redo()) << where;
            }
            ASSERT_EQ(s.current, m.views[m.at]) << where;
            ASSERT_EQ(s.history.canUndo(), m.at > 0) << where;
            ASSERT_EQ(s.history.canRedo(), m.at + 1 < m.views.size()) << where;
        }
    }
}

struct Walk {
    const char* name;
    HistoryLimits limits;
    std::vector<int> commands;  // views gone to from view 0, in order
    std::vector<int> undos;     // what undo gives then, until nothing (-1)
    std::vector<int> redos;     // what redo gives after that, until nothing
};

// Views of 10 clicks are what the byte limits below are counted in.
std::size_t tenClicks(std::size_t n) { return n * footprintOf(view(10)); }

const Walk kWalks[] = {
    {"NothingToUndoAtFirst", {}, {}, {-1}, {-1}},
    {"UndoAllThenRedoAll", {}, {1, 2, 3}, {2, 1, 0, -1}, {1, 2, 3, -1}},
    {"EntryLimitForgetsTheOldest", {3, 1 << 20}, {1, 2, 3, 4, 5}, {4, 3, 2, -1}, {3, 4, 5, -1}},
    {"ByteLimitForgetsTheOldest", {100, tenClicks(3)}, {10, 10, 10, 10, 10}, {10, 10, 10, -1}, {10, 10, 10, -1}},
    {"OneStepStaysPastTheByteLimit", {100, 1}, {1, 2, 3}, {2, -1}, {3, -1}},
    {"OneStepStaysAtAnEntryLimitOfOne", {1, 1 << 20}, {4, 5}, {4, -1}, {5, -1}},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Walk& row, std::ostream* os) { *os << row.name; }

class HistoryWalk : public ::testing::TestWithParam<Walk> {};

TEST_P(HistoryWalk, UndoesAndRedoesWhatItKept)
{
    const Walk& w = GetParam();
    Session s(w.limits);
    for (const int next : w.commands)
        s.command(next);
    std::vector<int> undos, redos;
    do
        undos.push_back(s.undo());
    while (undos.back() != -1 && undos.size() < 20);
    do
        redos.push_back(s.redo());
    while (redos.back() != -1 && redos.size() < 20);
    EXPECT_EQ(undos, w.undos);
    EXPECT_EQ(redos, w.redos);
    EXPECT_LE(s.history.undoSteps() + s.history.redoSteps(), std::max<std::size_t>(w.limits.entries, 1));
}

INSTANTIATE_TEST_SUITE_P(History, HistoryWalk, ::testing::ValuesIn(kWalks),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(History, ANewCommandAfterUndoDropsTheRedoSteps)
{
    Session s;
    s.command(1);
    s.command(2);
    s.command(3);
    EXPECT_EQ(s.undo(), 2);
    EXPECT_EQ(s.undo(), 1);
    s.command(7);
    EXPECT_FALSE(s.history.canRedo());
    EXPECT_EQ(s.redo(), -1);
    EXPECT_EQ(s.undo(), 1);
    EXPECT_EQ(s.undo(), 0);
}

TEST(History, BytesAreWhatTheKeptStepsHoldAndStayWithinTheLimit)
{
    const HistoryLimits limits{1000, tenClicks(4) + footprintOf(view(40))};
    Session s(limits);
    std::mt19937 rng(5);
    for (int step = 0; step < 300; ++step) {
        const int op = std::uniform_int_distribution<int>(0, 2)(rng);
        if (op == 0)
            s.command(std::uniform_int_distribution<int>(0, 40)(rng));
        else if (op == 1)
            s.undo();
        else
            s.redo();
        ASSERT_LE(s.history.bytes(), limits.bytes) << "step " << step;
    }
    // Emptied by undoing everything and one new command: one step left.
    while (s.undo() != -1) {
    }
    const int left = s.current;
    s.command(3);
    EXPECT_EQ(s.history.undoSteps(), 1u);
    EXPECT_EQ(s.history.redoSteps(), 0u);
    EXPECT_EQ(s.history.bytes(), footprintOf(view(left)));
}

TEST(History, AFootprintCountsClicksAndDeepDigits)
{
    Location deep = view(0);
    deep.deep = DeepCentre{std::string(5000, '1'), std::string(3000, '2'), 4000, 1000};
    EXPECT_GE(footprintOf(view(100)), footprintOf(view(0)) + 100 * sizeof(Click));
    EXPECT_GE(footprintOf(deep), footprintOf(view(0)) + 8000);
}

} // namespace
} // namespace mandel
