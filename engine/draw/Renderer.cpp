#include "Renderer.h"

#include "ColourChain.h"
#include "ColourGrid.h"
#include "ColourTables.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "PictureComputer.h"
#include "ExplorerState.h"
#include "StatusLine.h"
#include "Surface.h"
#include "ThreadPool.h"

#include <algorithm>
#include <atomic>

namespace mandel {

// The reference: every point iterated and coloured one after the other, in
// drawing order, as the program has always done it.
class Renderer::ReferenceColumns {
public:
    ReferenceColumns(const ExplorerState& view, std::vector<Colour>& column)
        : view_(view), chain_(view), column_(column)
    {
        column_.resize(static_cast<std::size_t>(view.hei) + 1);
    }

    // The column after the last whose colours are held: one at a time.
    int runEnd() const noexcept { return end_; }

    const Colour* column(int x)
    {
        end_ = x + 1;
        const double cx = planeX(view_, x);
        for (int y = 0; y <= view_.hei; ++y) {
            const PointResult p = iteratePoint(cx, planeY(view_, y));
            column_[static_cast<std::size_t>(y)] = chain_.next(p.n, p.zi);
        }
        return column_.data();
    }

private:
    const ExplorerState& view_;
    ColourChain chain_;
    std::vector<Colour>& column_;
    int end_ = 0;
};

// Runs of columns whose results a computer fills in, coloured from tables
// on its threads; the columns of a run wait in the renderer's buffers.
class Renderer::ColouredRuns {
public:
    ColouredRuns(const Palette& palette, int columns, int rows, int runLength, Renderer& buffers)
        : tables_(palette), rows_(rows), columns_(columns), run_(std::max(1, runLength)), b_(buffers)
    {
    }
    virtual ~ColouredRuns() = default;
    ColouredRuns(const ColouredRuns&) = delete;
    ColouredRuns& operator=(const ColouredRuns&) = delete;

    // The colours of column x, computed with the rest of its run when x is
    // the first column past the run held.
    const Colour* column(int x)
    {
        if (x >= end_)
            computeRun(x, std::min(columns_, x + run_));
        return b_.colours_.data() + static_cast<std::size_t>(x - start_) * static_cast<std::size_t>(rows_);
    }

    // The column after the last of the run that holds the latest column.
    int runEnd() const noexcept { return end_; }
    ThreadPool* threads() { return pool(); }

protected:
    // Fills the results of columns x0..x1-1, all rows, column by column.
    virtual void compute(int x0, int x1, PointResult* out) = 0;
    virtual ThreadPool* pool() = 0;

private:
    void computeRun(int x0, int x1)
    {
        const auto rows = static_cast<std::size_t>(rows_);
        const auto count = static_cast<std::size_t>(x1 - x0);
        b_.chunk_.resize(count * rows);
        b_.colours_.resize(count * rows);
        b_.before_.resize(count);
        compute(x0, x1, b_.chunk_.data());
        const PointResult* grid = b_.chunk_.data();
        b_.before_[0] = lastN_;
        for (std::size_t c = 1; c < count; ++c)
            b_.before_[c] = grid[c * rows - 1].n;
        if (colourGrid(tables_, grid, x1 - x0, rows_, b_.before_.data(), b_.colours_.data(), pool())) {
            // Where a later run needs drawing order, it continues from here.
            const std::int32_t beforeLast = rows > 1 ? grid[count * rows - 2].n : b_.before_[count - 1];
            tables_.resumeAfter(grid[count * rows - 1], beforeLast);
        } else {
            tables_.colourRun(grid, static_cast<int>(count * rows), b_.colours_.data());
        }
        lastN_ = grid[count * rows - 1].n;
        start_ = x0;
        end_ = x1;
    }

    ColourTables tables_;
    int rows_;
    int columns_;
    int run_;
    Renderer& b_;
    int start_ = 0, end_ = 0;  // the run held in the buffers
    std::int32_t lastN_ = kNoPixelBefore;
};

// Runs of columns of a legacy view, computed by the field computer.
class Renderer::FastColumns final : public ColouredRuns {
public:
    // Runs of the computer's preferred length where someone looks between
    // columns; otherwise the whole picture in one run, one job per stage.
    FastColumns(const ExplorerState& view, FieldComputer& computer, Renderer& buffers, bool watched)
        : ColouredRuns(paletteOf(view), view.wid + 1, view.hei + 1,
                       watched ? computer.preferredColumns() : view.wid + 1, buffers),
          view_(view), computer_(computer), capZUnread_(!ColourTables::readsZi(paletteOf(view)))
    {
    }

private:
    void compute(int x0, int x1, PointResult* out) override
    {
        // Told for this call only: between runs the window may hand the
        // computer to someone else.
        const CapZUnread unread(&computer_, capZUnread_);
        computer_.computeColumns(view_, x0, x1, out);
    }
    ThreadPool* pool() override { return computer_.pool(); }

    const ExplorerState& view_;
    FieldComputer& computer_;
    bool capZUnread_;  // no colour reads z at the cap
};

// Runs of columns of a free view: picture pixels, computed in the number
// type the view's depth asks for.
class Renderer::DeepColumns final : public ColouredRuns {
public:
    DeepColumns(const Palette& palette, PictureComputer& pixels, Renderer& buffers)
        : ColouredRuns(palette, kSurfaceSize + 1, kSurfaceSize + 1, pixels.columnsPerRun(), buffers), pixels_(pixels),
          counts_(!ColourTables::readsZi(palette))
    {
        ys_.resize(static_cast<std::size_t>(kSurfaceSize) + 1);
        for (std::size_t y = 0; y < ys_.size(); ++y)
            ys_[y] = static_cast<double>(y);
    }

private:
    void compute(int x0, int x1, PointResult* out) override
    {
        xs_.resize(static_cast<std::size_t>(x1 - x0));
        for (std::size_t c = 0; c < xs_.size(); ++c)
            xs_[c] = static_cast<double>(x0 + static_cast<int>(c));
        pixels_.computeFor(counts_, xs_.data(), x1 - x0, ys_.data(), static_cast<int>(ys_.size()), out);
    }
    ThreadPool* pool() override { return pixels_.pool(); }

    PictureComputer& pixels_;
    bool counts_;  // no colour reads z at the cap
    std::vector<double> xs_, ys_;
};

Renderer::Renderer(std::unique_ptr<FieldComputer> computer) : computer_(std::move(computer)) {}

Renderer::~Renderer() = default;

bool Renderer::DrawFractal(const ExplorerState& s, Surface& surface, const DrawHooks& hooks)
{
    const ExplorerState view = s;  // the picture is of the view as it was asked for
    if (view.wid < 0 || view.hei < 0) {
        ++generation_;
        return true;
    }
    if (!computer_) {
        ReferenceColumns columns(view, colours_);
        return draw(view.wid, view.hei, columns, surface, hooks, statusLine(view));
    }
    // Nobody looks between the columns: the whole picture in pieces, unless
    // some colour needs the pixels before it in drawing order.
    if (Colour* rows = surface.pixelRows(); rows && !hooks.yield && drawInPieces(view, rows)) {
        ++generation_;
        if (hooks.printStatus)
            hooks.printStatus(statusLine(view));
        return true;
    }
    FastColumns columns(view, *computer_, *this, static_cast<bool>(hooks.yield));
    return draw(view.wid, view.hei, columns, surface, hooks, statusLine(view));
}

bool Renderer::drawInPieces(const ExplorerState& view, Colour* rows)
{
    // Columns of a piece: a whole cache line of every row they reach, and
    // results (150 KB) that stay in the core's cache until coloured.
    constexpr int kPieceColumns = 16;
    const int columns = view.wid + 1;
    const int height = view.hei + 1;
    cx_.resize(static_cast<std::size_t>(columns));
    cy_.resize(static_cast<std::size_t>(height));
    for (int x = 0; x < columns; ++x)
        cx_[static_cast<std::size_t>(x)] = planeX(view, x);
    for (int y = 0; y < height; ++y)
        cy_[static_cast<std::size_t>(y)] = planeY(view, y);
    const ColourTables tables(view);
    const std::int32_t cap = computer_->cap();
    std::atomic<bool> formed{true};
    auto use = [&](int first, int width, const PointResult* results) {
        // The pixel before the piece is the bottom row of the column to its
        // left, in another piece: the loop gives its count again.
        const std::int32_t before =
            first == 0 ? kNoPixelBefore
                       : iteratePoint(cx_[static_cast<std::size_t>(first - 1)],
                                      cy_[static_cast<std::size_t>(height - 1)], cap)
                             .n;
        const int keptColumns = std::clamp(kDrawableSize - first, 0, width);
        const int keptRows = keptColumns > 0 ? std::min(height, kDrawableSize) : 0;
        Colour* out = keptColumns > 0 ? rows + first : rows;
        if (!tables.colourBlock(results, width, height, before, out, kDrawableSize, keptColumns, keptRows))
            formed.store(false, std::memory_order_relaxed);
    };
    const CapZUnread unread(computer_.get(), !ColourTables::readsZi(paletteOf(view)));
    computer_->computePieces(cx_.data(), columns, cy_.data(), height, kPieceColumns, use);
    return formed.load(std::memory_order_relaxed);
}

bool Renderer::DrawDeep(DeepComputer& computer, const Palette& palette, Surface& surface, const DrawHooks& hooks)
{
    DeepPixels pixels(computer);
    return DrawDeep(pixels, computer.orbit().view().zoom, palette, surface, hooks);
}

bool Renderer::DrawDeep(PictureComputer& pixels, double zoom, const Palette& palette, Surface& surface,
                        const DrawHooks& hooks)
{
    DeepColumns columns(palette, pixels, *this);
    return draw(kSurfaceSize, kSurfaceSize, columns, surface, hooks, deepStatusLine(palette.b, zoom));
}

namespace {

template <class Columns>
ThreadPool* threadsOf(Columns& columns)
{
    if constexpr (requires { columns.threads(); })
        return columns.threads();
    else
        return nullptr;
}

// Columns x0.. of a run onto the surface, shared among the pool's threads
// in stretches of whole 16-column blocks where the surface allows it.
void writeColumns(Surface& surface, int x0, int columns, const Colour* colours, int count, ThreadPool* pool)
{
    constexpr int kBlock = 16;
    if (!pool || pool->size() < 2 || !surface.columnsFromThreads() || columns < 2 * kBlock) {
        surface.setColumns(x0, columns, colours, count);
        return;
    }
    const int threads = pool->size();
    const int end = x0 + columns;
    // Stretch i: from the block boundary at or after its share's start.
    auto cut = [&](int i) {
        if (i == 0)
            return x0;
        if (i == threads)
            return end;
        const int at = x0 + static_cast<int>(static_cast<long long>(columns) * i / threads);
        return std::min(end, (at + kBlock - 1) / kBlock * kBlock);
    };
    auto job = [&](int i) {
        const int from = cut(i), to = std::max(from, cut(i + 1));
        if (to > from)
            surface.setColumns(from, to - from, colours + static_cast<std::ptrdiff_t>(from - x0) * count, count);
    };
    pool->run(job);
}

} // namespace

template <class Columns>
bool Renderer::draw(int wid, int hei, Columns& columns, Surface& surface, const DrawHooks& hooks,
                    const std::string& status)
{
    const unsigned long long mine = ++generation_;
    for (int x = 0; x <= wid; ++x) {
        if (hooks.yield) {
            const bool go_on = hooks.yield();
            // A picture drawn during the yield has reused the buffers and
            // changed what is on the surface: this one cannot go on.
            if (!go_on || generation_ != mine)
                return false;
        }
        // Rows past the drawable area are dropped by the surface but still
        // coloured: modes 7 and 8 carry their colour into the next column.
        const Colour* colours = columns.column(x);
        if (hooks.yield || columns.runEnd() <= x + 1) {
            surface.setColumn(x, colours, hei + 1);
            continue;
        }
        // Nobody looks between the columns: the rest of the run at once.
        writeColumns(surface, x, columns.runEnd() - x, colours, hei + 1, threadsOf(columns));
        x = columns.runEnd() - 1;
    }
    if (hooks.printStatus)
        hooks.printStatus(status);
    return true;
}

} // namespace mandel
