#pragma once

#include "ExplorerState.h"

namespace mandel::bench {

// The full view, in a fixed palette, as the benchmarks draw it.
inline ExplorerState fullView()
{
    ExplorerState s;
    s.wid = s.hei = kSurfaceSize;
    s.fn1 = 1.5f; s.fn2 = 2.5f; s.fn3 = 3.5f; s.b = 1; s.m1 = s.m2 = s.m3 = 200;
    ResetView(s);
    return s;
}

// A view on the edge of the set where almost every point runs to the cap.
inline ExplorerState deepView()
{
    ExplorerState s = fullView();
    ZoomAt(s, 186, 300);
    ZoomAt(s, 300, 300);
    return s;
}

} // namespace mandel::bench
