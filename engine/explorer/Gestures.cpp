#include "Gestures.h"

#include <cmath>

namespace mandel {

GestureKind gestureOf(const PointerPress& press, double x1, double y1)
{
    if (press.button == PointerButton::Right || (press.button == PointerButton::Left && press.shift))
        return GestureKind::ZoomOut;
    if (press.button == PointerButton::Middle)
        return GestureKind::ZoomIn;
    const bool moved = std::fabs(x1 - press.x0) >= kDragThreshold || std::fabs(y1 - press.y0) >= kDragThreshold;
    if (!moved)
        return GestureKind::ZoomIn;
    return press.control ? GestureKind::Rectangle : GestureKind::Pan;
}

double wheelFactor(int angleDelta)
{
    constexpr double kNotch = 120;
    return std::exp2(static_cast<double>(angleDelta) / kNotch);
}

} // namespace mandel
