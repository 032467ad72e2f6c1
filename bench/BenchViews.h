#pragma once

#include "ExplorerState.h"

#include <fstream>
#include <string>

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

// The model name and family/model numbers of the CPU, for every figure's label.
inline std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line, name, family, model;
    auto valueOf = [](const std::string& l) { return l.substr(l.find(':') + 2); };
    while (std::getline(in, line) && (name.empty() || family.empty() || model.empty())) {
        if (line.rfind("model name", 0) == 0)
            name = valueOf(line);
        else if (line.rfind("cpu family", 0) == 0)
            family = valueOf(line);
        else if (line.rfind("model\t", 0) == 0)
            model = valueOf(line);
    }
    return (name.empty() ? "unknown CPU" : name) + " (family " + family + ", model " + model + ")";
}

} // namespace mandel::bench
