#pragma once

#include "ExplorerState.h"
#include "RandomSource.h"

#include <cstdint>

namespace mandel::testing {

// Colour parameters alone, for the colour rules.
inline ExplorerState palette(float b, float fn1, float fn2, float fn3, float m1 = 200, float m2 = 200, float m3 = 200)
{
    ExplorerState s;
    s.b = b;
    s.fn1 = fn1;
    s.fn2 = fn2;
    s.fn3 = fn3;
    s.m1 = m1;
    s.m2 = m2;
    s.m3 = m3;
    return s;
}

// The full view at start-up size in fixed colours.
inline ExplorerState fullView(float b = 1, float fn1 = 1.5f, float fn2 = 2.5f, float fn3 = 0.5f)
{
    ExplorerState s = palette(b, fn1, fn2, fn3, 170, 230, 300);
    s.wid = s.hei = kSurfaceSize;
    ResetView(s);
    return s;
}

// What the explorer shows after start-up with `seed` (start-up size, the
// first seven draws as colours, the full view) and `newPresses` presses of
// "new" after it, each drawing seven more.
inline ExplorerState startupState(std::uint64_t seed, int newPresses = 0)
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    RandomSource rng(seed);
    for (int k = 0; k <= newPresses; ++k)
        DrawColourParameters(s, rng);
    ResetView(s);
    return s;
}

} // namespace mandel::testing
