#pragma once

#include "ExplorerState.h"

#include <fstream>
#include <string>
#include <string_view>

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

// Centres of the deep benchmark's views that the tests do not have.
//
// The nucleus of a small copy of period 67 near the branch point c = i,
// found by Newton's method on z_67(c) = 0 (120 digits, from i + 10^-25 in
// the direction of the tests' period-137 copy); the copy is about
// 6.5E-50 across, so at zoom 49 the picture holds it and what surrounds it.
inline constexpr std::string_view kMinibrot67Re =
    "-0.000000000000000000000000092548672020696111752488853124930680024938317255976883469093047073";
inline constexpr std::string_view kMinibrot67Im =
    "0.999999999999999999999999814527274771675285302589081085785753446557477947205257161129015670";

// The Misiurewicz point at the heart of the seahorse valley's spiral,
// z_26(c) = z_24(c) (the orbit lands on a repelling 2-cycle after 24
// steps), found by Newton's method (150 digits) from -0.77568377 +
// 0.13646737 i: the set spirals round it at every depth.
inline constexpr std::string_view kSpiralRe =
    "-0.77568376800905379746948350393474104572824650461580039479495200140066601722281958989488315936878225502825"
    "2296689050972508943";
inline constexpr std::string_view kSpiralIm =
    "0.136467368294690124733274409617848765197772111592467696407800195400835665974815500875448611244178656625706"
    "8230597598360099025";

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
