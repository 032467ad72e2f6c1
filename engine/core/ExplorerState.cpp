#include "ExplorerState.h"

#include "RandomSource.h"

#include <cmath>

namespace mandel {

void ResetView(ExplorerState& s)
{
    s.di = 0;
    s.dj = 0;
    s.f = 10;
    s.f1 = 1;
    s.zoomx1 = std::floor(s.wid / 4.0);
    s.zoomx2 = 2;
    s.zoomy1 = std::floor(s.hei / 4.0);
    s.zoomy2 = 2;
}

void DrawColourParameters(ExplorerState& s, RandomSource& rng)
{
    // Each draw is taken into a named value first: the order of draws is
    // part of what a seed reproduces.
    const float r1 = rng.next();
    const float r2 = rng.next();
    const float r3 = rng.next();
    const float r4 = rng.next();
    const float r5 = rng.next();
    const float r6 = rng.next();
    const float r7 = rng.next();
    s.fn1 = r1 * 10.0f;
    s.fn2 = r2 * 10.0f;
    s.fn3 = r3 * 10.0f;
    // Formed exactly in double before Int, so b stays 1..9 and moduli 150..304.
    s.b = static_cast<float>(std::floor(static_cast<double>(r4) * 9.0 + 1.0));
    s.m1 = static_cast<float>(std::floor(static_cast<double>(r5) * 155.0 + 150.0));
    s.m2 = static_cast<float>(std::floor(static_cast<double>(r6) * 155.0 + 150.0));
    s.m3 = static_cast<float>(std::floor(static_cast<double>(r7) * 155.0 + 150.0));
}

void ZoomAt(ExplorerState& s, float X, float Y)
{
    const double f = s.f;
    s.f1 = s.f1 * f;
    s.di = (s.di + static_cast<double>(X)) - std::floor(s.wid / 2.0);
    s.dj = (s.dj + static_cast<double>(Y)) - std::floor(s.hei / 2.0);
    s.zoomx1 = s.zoomx1 * f;
    const double inv = 1.0 / f;
    s.zoomx2 = s.zoomx2 * inv;
    s.zoomy1 = s.zoomy1 * f;
    s.zoomy2 = s.zoomy2 * inv;
    s.di = s.di * f;
    s.dj = s.dj * f;
}

bool tryZoomAt(ExplorerState& s, float X, float Y)
{
    if (!std::isfinite(X) || !std::isfinite(Y))
        return false;
    ExplorerState next = s;
    ZoomAt(next, X, Y);
    // Only the offsets and the scales grow: f1 is a scale over 150 and the
    // shifts shrink towards 0. With these finite, so is every point of the
    // mapping, (600 + di) / zoomx1 included.
    for (const double v : {next.di, next.dj, next.zoomx1, next.zoomy1}) {
        if (!std::isfinite(v))
            return false;
    }
    s = std::move(next);
    return true;
}

double planeX(const ExplorerState& s, int x)
{
    return (static_cast<double>(x) + s.di) / s.zoomx1 - s.zoomx2;
}

double planeY(const ExplorerState& s, int y)
{
    return s.zoomy2 - (static_cast<double>(y) + s.dj) / s.zoomy1;
}

} // namespace mandel
