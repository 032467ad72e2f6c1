#pragma once

#include "DeepSetup.h"
#include "DeepView.h"
#include "Location.h"
#include "PointResult.h"
#include "Result.h"

#include <memory>
#include <vector>

namespace mandel {

struct ExplorerState;
class DeepComputer;
class FastComputer;
class FieldComputer;
class ThreadPool;

// Iteration results for grids of points named as pixels (x, y) of the
// view's 596 x 596 picture, at any fraction: the one interface posters draw
// through, whether the view is legacy or deep.
class PictureComputer {
public:
    virtual ~PictureComputer() = default;
    // Fills out[c * rows + r] with the result at picture pixel (xs[c], ys[r]).
    virtual void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) = 0;
    // The same for a caller that reads no z of pixels that reach the cap:
    // a computer may end those it knows to lie inside the set at once
    // (FieldComputer::setCapZNeeded). By default computePixels.
    virtual void computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out)
    {
        computePixels(xs, columns, ys, rows, out);
    }
    // computeCounts where `countsOnly`, computePixels otherwise.
    void computeFor(bool countsOnly, const double* xs, int columns, const double* ys, int rows, PointResult* out)
    {
        if (countsOnly)
            computeCounts(xs, columns, ys, rows, out);
        else
            computePixels(xs, columns, ys, rows, out);
    }
    // The threads it computes on (null: the caller alone).
    virtual ThreadPool* pool() noexcept = 0;
    // Columns the window's picture is best computed in at a time: few
    // where pixels can be slow, since the window yields between runs only.
    virtual int columnsPerRun() const noexcept { return 8; }
};

// A legacy view through a field computer: pixel (x, y) is the plane point
// ((x + di) / zoomx1 - zoomx2, zoomy2 - (y + dj) / zoomy1), in that order,
// as the window maps its own pixels.
class LegacyPixels final : public PictureComputer {
public:
    // Both are kept by reference and must outlive this.
    LegacyPixels(FieldComputer& computer, const ExplorerState& view) : computer_(computer), view_(view) {}
    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    void computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override;

private:
    FieldComputer& computer_;
    const ExplorerState& view_;
    std::vector<double> cx_, cy_;
};

// A deep view: pixel (x, y) lies (x - 300, y - 300) pixels from its centre.
class DeepPixels final : public PictureComputer {
public:
    explicit DeepPixels(DeepComputer& computer) : computer_(computer) {}
    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override;

private:
    DeepComputer& computer_;
    std::vector<double> dx_, dy_;
};

// A free view (centre, zoom, cap) drawn in the number type its depth
// allows: in doubles by the vector kernel while doublesFrameOf(view) gives
// a frame, by perturbation beyond. Both run the legacy loop with the view's
// cap on c = (a + dx h, b - dy h), so counts agree but where the rounding of
// doubles decides them; pixel (x, y) lies (x - 300, y - 300) from the centre.
class FreeViewPixels final : public PictureComputer {
public:
    // In doubles, on the shared pool (`threads` 0) or a pool of its own of
    // `threads`: `view` must have a doubles frame.
    FreeViewPixels(const DeepCentre& view, const DoublesFrame& frame, int threads = 0);
    // By perturbation with `deep` (its orbit's view, the cap `deep`'s).
    explicit FreeViewPixels(std::shared_ptr<DeepComputer> deep);
    // By perturbation against the orbit of another centre: `view` (zoom and
    // cap `deep`'s) lies `offset` pixels from the orbit's centre.
    FreeViewPixels(std::shared_ptr<DeepComputer> deep, const DeepCentre& view, PixelOffset offset);
    ~FreeViewPixels() override;

    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    void computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override;
    int columnsPerRun() const noexcept override;

    // The view it draws, its cap the one results are computed with.
    const DeepCentre& view() const noexcept { return view_; }
    long long iterations() const noexcept { return view_.iterations; }
    bool inDoubles() const noexcept { return fast_ != nullptr; }
    // The perturbation computer; null in doubles.
    DeepComputer* deep() const noexcept { return deep_.get(); }
    // In doubles: the vector kernel with the view's cap (null by
    // perturbation), and where its pixels lie in the plane.
    FieldComputer* doubles() const noexcept;
    const DoublesFrame& frame() const noexcept { return frame_; }
    // By perturbation: where the view's centre lies from the orbit's.
    PixelOffset offset() const noexcept { return offset_; }

private:
    DeepCentre view_;
    std::shared_ptr<DeepComputer> deep_;
    std::unique_ptr<FastComputer> fast_;
    DoublesFrame frame_;
    PixelOffset offset_;
    std::vector<double> cx_, cy_;
};

// The counts of a poster-sized picture, kept with the picture so that the
// next one, moved by whole pixels, takes over those still in sight and
// computes only the strips that come into view.
struct KeptCounts {
    PictureSize size;
    std::vector<PointResult> counts;  // column by column, size.width * size.height
    std::vector<char> known;          // whether each count is there
    // Whether the kept z of points at the cap are exact: not where they
    // were computed for counts alone (computeCounts).
    bool exactZ = true;

    // The counts of the picture moved by (du, dv) poster pixels (right and
    // down): what stays in sight moves with it, the rest is unknown.
    KeptCounts shifted(int du, int dv) const;
};

// A computer of poster pixels that serves counts kept from the picture
// before and computes the rest with `pixels`, keeping them in turn. Asked
// for picture pixels (as posters ask: PosterMapping of `kept.size`), it
// maps them back to poster pixels; whole columns and rows it lacks are
// computed in one call each.
class KeptPixels final : public PictureComputer {
public:
    // Both are kept by reference and must outlive this.
    KeptPixels(PictureComputer& pixels, KeptCounts& kept) : pixels_(pixels), kept_(kept) {}
    void computePixels(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    // Counts computed so are kept as such: asked for pixels later, the
    // kept counts are dropped and computed again with their z.
    void computeCounts(const double* xs, int columns, const double* ys, int rows, PointResult* out) override;
    ThreadPool* pool() noexcept override { return pixels_.pool(); }
    int columnsPerRun() const noexcept override { return pixels_.columnsPerRun(); }
    // Pixels computed so far (not taken over).
    long long computed() const noexcept { return computed_; }

private:
    void compute(const double* xs, int columns, const double* ys, int rows, PointResult* out, bool counts);
    int posterColumn(double x) const;
    int posterRow(double y) const;

    PictureComputer& pixels_;
    KeptCounts& kept_;
    long long computed_ = 0;
    std::vector<double> xs_, ys_;
    std::vector<int> us_, vs_;
    std::vector<PointResult> fresh_;
};

// What drawing a free view needs before its first pixel.
struct FreeViewSetup {
    std::shared_ptr<FreeViewPixels> pixels;  // null when only the orbit was asked for
    // The reference orbit (null in doubles), and the same when it was
    // computed or extended here, for the caller to extend later.
    std::shared_ptr<const ReferenceOrbit> orbit;
    std::shared_ptr<ReferenceOrbit> ownOrbit;
    // The cap of the picture: the view's, or the one chosen.
    long long iterations = 0;
};

// A view's pixels drawn against `orbit`, an orbit of another centre (a pan
// or a zoom out from the view it was computed for): where the view's centre
// lies from the orbit's, when the orbit holds the view's cap, was computed
// at the precision the view's zoom asks for or more, and lies within a
// picture's width of it; nothing otherwise.
std::optional<PixelOffset> orbitServes(const ReferenceOrbit& orbit, const DeepCentre& view);

// Sets up the free view `request` names: in doubles when its depth allows
// (no reference orbit; a cap to choose is chosen from grids in doubles),
// otherwise as setUpDeep does. Fails as setUpDeep does.
Result<FreeViewSetup> setUpFreeView(DeepSetupRequest request);

} // namespace mandel
