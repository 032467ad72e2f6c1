#include "Renderer.h"

#include "ColourTables.h"
#include "ExplorerState.h"
#include "StatusLine.h"
#include "Surface.h"

#include <algorithm>

namespace mandel {

Renderer::Renderer(std::unique_ptr<FieldComputer> computer)
    : computer_(computer ? std::move(computer) : std::make_unique<ReferenceComputer>())
{
}

Renderer::~Renderer() = default;

bool Renderer::DrawFractal(const ExplorerState& s, Surface& surface, const DrawHooks& hooks)
{
    const unsigned long long mine = ++generation_;
    const ExplorerState view = s;  // the picture is of the view as it was asked for
    const int columns = view.wid + 1;
    const int rows = view.hei + 1;
    if (columns <= 0 || rows <= 0)
        return true;
    const int step = std::max(1, computer_->preferredColumns());
    ColourTables chain(view);
    int chunkStart = 0;
    int chunkEnd = 0;
    for (int x = 0; x < columns; ++x) {
        if (hooks.yield) {
            const bool go_on = hooks.yield();
            // A picture drawn during the yield has reused the buffers and
            // changed what is on the surface: this one cannot go on.
            if (!go_on || generation_ != mine)
                return false;
        }
        if (x >= chunkEnd) {
            chunkStart = x;
            chunkEnd = std::min(columns, x + step);
            chunk_.resize(static_cast<std::size_t>(chunkEnd - chunkStart) * static_cast<std::size_t>(rows));
            computer_->computeColumns(view, chunkStart, chunkEnd, chunk_.data());
        }
        const PointResult* column = chunk_.data() + static_cast<std::size_t>(x - chunkStart) * static_cast<std::size_t>(rows);
        // Rows past the drawable area are dropped by the surface but still
        // coloured: modes 7 and 8 carry their colour into the next column.
        column_.resize(static_cast<std::size_t>(rows));
        chain.colourRun(column, rows, column_.data());
        surface.setColumn(x, column_.data(), rows);
    }
    if (hooks.printStatus)
        hooks.printStatus(statusLine(view));
    return true;
}

std::vector<PointResult> computeField(const ExplorerState& s, FieldComputer& computer)
{
    const auto columns = static_cast<std::size_t>(s.wid + 1);
    const auto rows = static_cast<std::size_t>(s.hei + 1);
    std::vector<PointResult> field(columns * rows);
    const int step = std::max(1, computer.preferredColumns());
    for (int x = 0; x <= s.wid; x += step) {
        const int end = std::min(s.wid + 1, x + step);
        computer.computeColumns(s, x, end, field.data() + static_cast<std::size_t>(x) * rows);
    }
    return field;
}

} // namespace mandel
