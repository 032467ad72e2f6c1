#include "PosterMapping.h"

#include "Surface.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace mandel {

namespace {

// Picture pixel of the centre of the 596 x 596 drawable area.
constexpr double kPictureCentre = 298.0;

} // namespace

PosterMapping::PosterMapping(const ExplorerState& view, PictureSize size) noexcept
    : size_(size),
      k_(static_cast<double>(kDrawableSize) / static_cast<double>(std::max(1, std::min(size.width, size.height)))),
      di_(view.di), dj_(view.dj), zoomx1_(view.zoomx1), zoomx2_(view.zoomx2), zoomy1_(view.zoomy1),
      zoomy2_(view.zoomy2)
{
}

PosterMapping::PosterMapping(PictureSize size) noexcept
    : size_(size),
      k_(static_cast<double>(kDrawableSize) / static_cast<double>(std::max(1, std::min(size.width, size.height)))),
      di_(0), dj_(0), zoomx1_(1), zoomx2_(0), zoomy1_(-1), zoomy2_(0)
{
}

double PosterMapping::pictureX(int u) const noexcept
{
    return (static_cast<double>(u) - static_cast<double>(size_.width) / 2.0) * k_ + kPictureCentre;
}

double PosterMapping::pictureY(int v) const noexcept
{
    return (static_cast<double>(v) - static_cast<double>(size_.height) / 2.0) * k_ + kPictureCentre;
}

double PosterMapping::planeX(int u) const noexcept
{
    return (pictureX(u) + di_) / zoomx1_ - zoomx2_;
}

double PosterMapping::planeY(int v) const noexcept
{
    return zoomy2_ - (pictureY(v) + dj_) / zoomy1_;
}

Status checkPictureSize(PictureSize size)
{
    if (size.width < 1 || size.height < 1 || size.width > kMaxPictureSide || size.height > kMaxPictureSide)
        return fail("a picture's sides must be 1 to " + std::to_string(kMaxPictureSide) + " pixels", EINVAL);
    return {};
}

} // namespace mandel
