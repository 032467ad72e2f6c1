#pragma once

#include "PointResult.h"

#include <functional>

namespace mandel {

struct ExplorerState;
class ThreadPool;

// Computes iteration results for grids of plane points. A grid is a set of
// columns (plane x) crossed with a set of rows (plane y); results are
// written column by column.
class FieldComputer {
public:
    virtual ~FieldComputer() = default;
    // Fills out[c * rows + r] with the iteration of cx[c] + cy[r] i, for
    // every column c < columns and row r < rows.
    virtual void computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out) = 0;
    // The same, with zr[c * rows + r] the real part of the last z the loop
    // leaves (its imaginary part is the result's zi), bit for bit, so that
    // smooth colouring goes on from there. By default the scalar loop.
    virtual void computeGridWithZr(const double* cx, int columns, const double* cy, int rows, PointResult* out,
                                   double* zr);
    // The cap the loop stops at.
    virtual std::int32_t cap() const noexcept { return kMaxIterations; }
    // Fills out[(x - x0) * (hei + 1) + y] for columns x0..x1-1, rows 0..hei
    // of the view in `s`: c = (planeX(s, x), planeY(s, y)).
    void computeColumns(const ExplorerState& s, int x0, int x1, PointResult* out);
    // Receives a piece of columns: its first column, how many, and their
    // results (results[k * rows + r] is row r of column first + k), valid
    // during the call only. Several pieces may arrive at once on different
    // threads.
    using PieceUse = std::function<void(int first, int columns, const PointResult* results)>;
    // Computes the grid of computeGrid a piece of `pieceColumns` columns at
    // a time (the last may be narrower), pieces starting at multiples of
    // it, and hands each piece to `use` on the thread that computed it,
    // while its results are still in that core's cache: what is done with
    // them costs no trip through memory. By default one piece after another
    // on the calling thread.
    virtual void computePieces(const double* cx, int columns, const double* cy, int rows, int pieceColumns,
                               const PieceUse& use);
    // Whether the z of points that reach the cap must be exact (the
    // default). A caller that reads no z of such points says not, and a
    // computer may then end the points it knows to lie inside the set
    // early, with n the cap and any z; every other result stays exact.
    virtual void setCapZNeeded(bool) {}
    // How many columns one call should take to be efficient.
    virtual int preferredColumns() const { return 1; }
    // The threads it computes on, which its callers may use for work on
    // its results (colouring them); null: it computes on the caller alone.
    virtual ThreadPool* pool() noexcept { return nullptr; }
};

// Tells a computer, while it lives, that its caller reads no z of points
// that reach the cap (when `unread`); the computer is told again after.
// Meant for one call: results that are kept, or a computer that may be
// gone after a pause for the window's events, need the exact z.
class CapZUnread {
public:
    CapZUnread(FieldComputer* computer, bool unread) : computer_(unread ? computer : nullptr)
    {
        if (computer_)
            computer_->setCapZNeeded(false);
    }
    ~CapZUnread()
    {
        if (computer_)
            computer_->setCapZNeeded(true);
    }
    CapZUnread(const CapZUnread&) = delete;
    CapZUnread& operator=(const CapZUnread&) = delete;

private:
    FieldComputer* computer_;
};

// The straightforward scalar computation, one point after the other.
class ReferenceComputer final : public FieldComputer {
public:
    void computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out) override;
};

} // namespace mandel
