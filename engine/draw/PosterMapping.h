#pragma once

#include "ExplorerState.h"
#include "Location.h"
#include "Result.h"

namespace mandel {

// Refuses a picture size outside 1 to kMaxPictureSide on either side.
Status checkPictureSize(PictureSize size);

// Where the pixels of a W x H poster of a view lie. The poster shows the
// square the 596 x 596 picture shows, centred on the same point and scaled
// so that its shorter side spans that square; the longer side shows more.
// Everything is double precision, in one fixed order, so that a poster is
// the same picture on every machine.
class PosterMapping {
public:
    // The poster of the view in `view` (its palette is not read) at `size`;
    // both sides must be at least 1.
    PosterMapping(const ExplorerState& view, PictureSize size) noexcept;
    // Picture pixels alone, for deep views (whose computer turns them into
    // points); plane x and y are then the picture pixels themselves.
    explicit PosterMapping(PictureSize size) noexcept;

    // Picture-pixel x of poster column u: (u - W/2) * k + 298, k = 596 / min(W, H).
    double pictureX(int u) const noexcept;
    // Picture-pixel y of poster row v: (v - H/2) * k + 298.
    double pictureY(int v) const noexcept;
    // Plane x of column u: (pictureX(u) + di) / zoomx1 - zoomx2.
    double planeX(int u) const noexcept;
    // Plane y of row v: zoomy2 - (pictureY(v) + dj) / zoomy1.
    double planeY(int v) const noexcept;

    PictureSize size() const noexcept { return size_; }

private:
    PictureSize size_;
    double k_;
    double di_, dj_, zoomx1_, zoomx2_, zoomy1_, zoomy2_;
};

} // namespace mandel
