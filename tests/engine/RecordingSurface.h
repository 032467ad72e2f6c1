#pragma once

#include "Surface.h"

#include <vector>

namespace mandel::testing {

// Records every call, also those outside the drawable area that a real
// surface drops.
class RecordingSurface final : public Surface {
public:
    struct Call {
        int x, y;
        Colour c;
    };
    void clear() override { ++clears; }
    void setPixel(int x, int y, Colour c) override { calls.push_back({x, y, c}); }

    std::vector<Call> calls;
    int clears = 0;
};

} // namespace mandel::testing
