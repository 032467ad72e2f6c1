#pragma once

#include "Location.h"

#include "Colour.h"
#include "FieldComputer.h"
#include "PointResult.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mandel {

struct ExplorerState;
class Surface;
class DeepComputer;
class PictureComputer;

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
    // Draws with `computer`, coloured from tables on the computer's threads.
    // Null: the reference, a whole second path: the scalar loop point by
    // point, coloured by ColourChain pixel after pixel.
    explicit Renderer(std::unique_ptr<FieldComputer> computer = nullptr);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws the picture of `s` on `surface`, yielding once per column, then
    // prints the status line. Returns false when the picture was abandoned:
    // the yield said so, or another picture was drawn by this renderer
    // during a yield (a drawing never resumes with a view that changed).
    bool DrawFractal(const ExplorerState& s, Surface& surface, const DrawHooks& hooks = {});

    // Draws the deep view of `computer` (its orbit fixes centre, zoom and
    // cap) in the colours of `palette`: pixel (x, y) at offset (x - 300,
    // y - 300), coloured as legacy pictures are, yielding once per column;
    // then prints the deep status line. Returns false when abandoned, as
    // DrawFractal does.
    bool DrawDeep(DeepComputer& computer, const Palette& palette, Surface& surface, const DrawHooks& hooks = {});
    // The same with any computer of the free view's pixels (in doubles or by
    // perturbation) whose zoom is `zoom`.
    bool DrawDeep(PictureComputer& pixels, double zoom, const Palette& palette, Surface& surface,
                  const DrawHooks& hooks = {});

private:
    class ReferenceColumns;
    class ColouredRuns;
    class FastColumns;
    class DeepColumns;
    // Draws the picture of `view` straight into the surface's rows, a piece
    // of columns at a time on the computer's threads, each coloured as soon
    // as it is computed. False when some colour value did not form: then
    // the picture must be drawn in drawing order.
    bool drawInPieces(const ExplorerState& view, Colour* rows);
    template <class Columns>
    bool draw(int wid, int hei, Columns& columns, Surface& surface, const DrawHooks& hooks, const std::string& status);

    std::unique_ptr<FieldComputer> computer_;  // null: the reference
    // Buffers of the picture being drawn; a picture drawn during a yield
    // reuses them, and the generation tells the interrupted one.
    std::vector<PointResult> chunk_;
    std::vector<Colour> colours_;
    std::vector<std::int32_t> before_;
    std::vector<double> cx_, cy_;
    unsigned long long generation_ = 0;
};

} // namespace mandel
