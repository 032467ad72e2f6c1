#include "History.h"

#include <utility>

namespace mandel {

std::size_t footprintOf(const Location& view)
{
    std::size_t bytes = sizeof(Location) + view.clicks.capacity() * sizeof(Click);
    if (view.deep)
        bytes += view.deep->re.capacity() + view.deep->im.capacity();
    return bytes;
}

void History::record(Location view)
{
    while (!redo_.empty())
        (void)pop(redo_);
    push(undo_, std::move(view));
    trim();
}

std::optional<Location> History::undo(Location current) { return step(undo_, redo_, std::move(current)); }

std::optional<Location> History::redo(Location current) { return step(redo_, undo_, std::move(current)); }

std::optional<Location> History::step(std::deque<Location>& from, std::deque<Location>& to, Location current)
{
    if (from.empty())
        return std::nullopt;
    Location target = pop(from);
    push(to, std::move(current));
    trim();
    return target;
}

void History::push(std::deque<Location>& steps, Location view)
{
    // A copy grown click by click may hold spare room; keep only what it uses.
    view.clicks.shrink_to_fit();
    bytes_ += footprintOf(view);
    steps.push_back(std::move(view));
}

Location History::pop(std::deque<Location>& steps)
{
    Location view = std::move(steps.back());
    steps.pop_back();
    bytes_ -= footprintOf(view);
    return view;
}

void History::trim()
{
    const auto over = [this] {
        return undo_.size() + redo_.size() > limits_.entries || bytes_ > limits_.bytes;
    };
    // Oldest first, but the newest undo step stays, so one undo always works.
    while (over() && undo_.size() > 1) {
        bytes_ -= footprintOf(undo_.front());
        undo_.pop_front();
    }
    while (over() && redo_.size() > (undo_.empty() ? 1u : 0u)) {
        bytes_ -= footprintOf(redo_.front());
        redo_.pop_front();
    }
}

} // namespace mandel
