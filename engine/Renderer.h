#pragma once

#include "Colour.h"
#include "FieldComputer.h"
#include "PointResult.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mandel {

struct ExplorerState;
class Surface;

// What a drawing hands back to its host while it runs.
struct DrawHooks {
    // Called once per column, before the column's rows are drawn. Returning
    // false abandons the picture. Empty: never yields.
    std::function<bool()> yield;
    // Receives the status line once the last column is drawn. Empty: dropped.
    std::function<void(const std::string&)> printStatus;
};

// Draws whole pictures: 601 columns of 601 rows, left to right and top to
// bottom, coloured in that order. Keeps its buffers between pictures.
class Renderer {
public:
    // Draws with `computer`, or with the reference computation when null.
    explicit Renderer(std::unique_ptr<FieldComputer> computer = nullptr);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws the picture of `s` on `surface`, yielding once per column, then
    // prints the status line. Returns false when the picture was abandoned:
    // the yield said so, or another picture was drawn by this renderer
    // during a yield (a drawing never resumes with a view that changed).
    bool DrawFractal(const ExplorerState& s, Surface& surface, const DrawHooks& hooks = {});

    // The computation in use.
    FieldComputer& computer() noexcept { return *computer_; }

private:
    std::unique_ptr<FieldComputer> computer_;
    std::vector<PointResult> chunk_;
    std::vector<Colour> column_;
    unsigned long long generation_ = 0;
};

// The iteration results of every point of the view, column by column:
// index x * (hei + 1) + y. For tests and tools.
std::vector<PointResult> computeField(const ExplorerState& s, FieldComputer& computer);

} // namespace mandel
