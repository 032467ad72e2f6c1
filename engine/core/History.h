#pragma once

#include "Location.h"

#include <cstddef>
#include <deque>
#include <optional>

namespace mandel {

// How much a History may hold.
struct HistoryLimits {
    std::size_t entries = 10000;          // undo and redo steps together
    std::size_t bytes = 16 * 1024 * 1024;  // their footprints together
};

// The views left behind by the commands of one run, for undo and redo. Its
// memory is bounded: past the limits the oldest undo steps are forgotten
// first, then the farthest redo steps; the newest undo step (or, without
// one, the next redo step) always stays.
class History {
public:
    History() = default;
    explicit History(HistoryLimits limits) : limits_(limits) {}

    // A command is leaving `view`: it becomes the newest undo step, and the
    // redo steps are dropped.
    void record(Location view);
    // The view to go back to from `current`, which is kept for redo; nothing
    // (and no change) when there is nothing to undo.
    std::optional<Location> undo(Location current);
    // The view to go forward to from `current`, which is kept for undo;
    // nothing (and no change) when there is nothing to redo.
    std::optional<Location> redo(Location current);

    bool canUndo() const noexcept { return !undo_.empty(); }
    bool canRedo() const noexcept { return !redo_.empty(); }
    std::size_t undoSteps() const noexcept { return undo_.size(); }
    std::size_t redoSteps() const noexcept { return redo_.size(); }
    // The bytes the steps hold, as footprintOf counts them.
    std::size_t bytes() const noexcept { return bytes_; }

private:
    // Moves one step from `from`, leaving `current` on `to`.
    std::optional<Location> step(std::deque<Location>& from, std::deque<Location>& to, Location current);
    void push(std::deque<Location>& steps, Location view);
    Location pop(std::deque<Location>& steps);
    void trim();

    HistoryLimits limits_;
    std::deque<Location> undo_;  // back: the newest
    std::deque<Location> redo_;  // back: the next to redo
    std::size_t bytes_ = 0;
};

// The memory `view` occupies: the value and what it owns on the heap.
std::size_t footprintOf(const Location& view);

} // namespace mandel
