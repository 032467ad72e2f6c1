#include "Renderer.h"

#include "ColourChain.h"
#include "ColourGrid.h"
#include "ColourTables.h"
#include "DeepComputer.h"
#include "DeepView.h"
#include "ExplorerState.h"
#include "StatusLine.h"
#include "Surface.h"

#include <algorithm>

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

    const Colour* column(int x)
    {
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
};

// Runs of columns computed by the field computer and coloured from tables,
// both on the computer's threads.
class Renderer::FastColumns {
public:
    FastColumns(const ExplorerState& view, FieldComputer& computer, Renderer& buffers)
        : view_(view), computer_(computer), tables_(view), rows_(view.hei + 1),
          step_(std::max(1, computer.preferredColumns())), b_(buffers)
    {
    }

    const Colour* column(int x)
    {
        if (x >= end_)
            computeRun(x, std::min(view_.wid + 1, x + step_));
        return b_.colours_.data() + static_cast<std::size_t>(x - start_) * static_cast<std::size_t>(rows_);
    }

private:
    void computeRun(int x0, int x1)
    {
        const auto rows = static_cast<std::size_t>(rows_);
        const auto count = static_cast<std::size_t>(x1 - x0);
        b_.chunk_.resize(count * rows);
        b_.colours_.resize(count * rows);
        b_.before_.resize(count);
        computer_.computeColumns(view_, x0, x1, b_.chunk_.data());
        const PointResult* grid = b_.chunk_.data();
        b_.before_[0] = lastN_;
        for (std::size_t c = 1; c < count; ++c)
            b_.before_[c] = grid[c * rows - 1].n;
        if (colourGrid(tables_, grid, x1 - x0, rows_, b_.before_.data(), b_.colours_.data(), computer_.pool())) {
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

    const ExplorerState& view_;
    FieldComputer& computer_;
    ColourTables tables_;
    int rows_;
    int step_;
    Renderer& b_;
    int start_ = 0, end_ = 0;  // the run held in the buffers
    std::int32_t lastN_ = kNoPixelBefore;
};

// Runs of columns of a deep view: offsets from the centre pixel, computed
// by perturbation and coloured from tables on the pool's threads.
class Renderer::DeepColumns {
public:
    // Columns per run: few, since deep pixels can be slow and the window
    // yields between runs' columns only.
    static constexpr int kRun = 8;

    DeepColumns(const ExplorerState& palette, DeepComputer& computer, Renderer& buffers)
        : computer_(computer), tables_(palette), rows_(palette.hei + 1), columns_(palette.wid + 1), b_(buffers)
    {
        dy_.resize(static_cast<std::size_t>(rows_));
        for (int y = 0; y < rows_; ++y)
            dy_[static_cast<std::size_t>(y)] = y - kDeepCentrePixel;
    }

    const Colour* column(int x)
    {
        if (x >= end_)
            computeRun(x, std::min(columns_, x + kRun));
        return b_.colours_.data() + static_cast<std::size_t>(x - start_) * static_cast<std::size_t>(rows_);
    }

private:
    void computeRun(int x0, int x1)
    {
        const auto rows = static_cast<std::size_t>(rows_);
        const auto count = static_cast<std::size_t>(x1 - x0);
        b_.chunk_.resize(count * rows);
        b_.colours_.resize(count * rows);
        b_.before_.resize(count);
        std::vector<double> dx(count);
        for (std::size_t c = 0; c < count; ++c)
            dx[c] = static_cast<double>(x0 + static_cast<int>(c) - kDeepCentrePixel);
        computer_.computeGrid(dx.data(), x1 - x0, dy_.data(), rows_, b_.chunk_.data());
        const PointResult* grid = b_.chunk_.data();
        b_.before_[0] = lastN_;
        for (std::size_t c = 1; c < count; ++c)
            b_.before_[c] = grid[c * rows - 1].n;
        if (colourGrid(tables_, grid, x1 - x0, rows_, b_.before_.data(), b_.colours_.data(), computer_.pool())) {
            const std::int32_t beforeLast = rows > 1 ? grid[count * rows - 2].n : b_.before_[count - 1];
            tables_.resumeAfter(grid[count * rows - 1], beforeLast);
        } else {
            tables_.colourRun(grid, static_cast<int>(count * rows), b_.colours_.data());
        }
        lastN_ = grid[count * rows - 1].n;
        start_ = x0;
        end_ = x1;
    }

    DeepComputer& computer_;
    ColourTables tables_;
    int rows_;
    int columns_;
    Renderer& b_;
    std::vector<double> dy_;
    int start_ = 0, end_ = 0;
    std::int32_t lastN_ = kNoPixelBefore;
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
        return draw(view, columns, surface, hooks, statusLine(view));
    }
    FastColumns columns(view, *computer_, *this);
    return draw(view, columns, surface, hooks, statusLine(view));
}

bool Renderer::DrawDeep(DeepComputer& computer, const ExplorerState& palette, Surface& surface, const DrawHooks& hooks)
{
    const ExplorerState view = palette;
    if (view.wid < 0 || view.hei < 0) {
        ++generation_;
        return true;
    }
    DeepColumns columns(view, computer, *this);
    return draw(view, columns, surface, hooks, deepStatusLine(view.b, computer.orbit().view().zoom));
}

template <class Columns>
bool Renderer::draw(const ExplorerState& view, Columns& columns, Surface& surface, const DrawHooks& hooks,
                    const std::string& status)
{
    const unsigned long long mine = ++generation_;
    for (int x = 0; x <= view.wid; ++x) {
        if (hooks.yield) {
            const bool go_on = hooks.yield();
            // A picture drawn during the yield has reused the buffers and
            // changed what is on the surface: this one cannot go on.
            if (!go_on || generation_ != mine)
                return false;
        }
        // Rows past the drawable area are dropped by the surface but still
        // coloured: modes 7 and 8 carry their colour into the next column.
        surface.setColumn(x, columns.column(x), view.hei + 1);
    }
    if (hooks.printStatus)
        hooks.printStatus(status);
    return true;
}

} // namespace mandel
