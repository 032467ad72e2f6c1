#pragma once

namespace mandel {

// How pointer input moves the free view, without a window: which press,
// drag and release is which command. The classic view is left out: there
// every press zooms in tenfold at once, before any movement is known.

enum class PointerButton { Left, Middle, Right };

enum class GestureKind {
    ZoomIn,     // tenfold about the press, the pressed point to the centre
    ZoomOut,    // tenfold out, the pressed point kept under the pointer
    Pan,        // the picture follows the pointer by (x1 - x0, y1 - y0)
    Rectangle,  // the rectangle between press and pointer fills the picture
};

// A press at (x0, y0) whose pointer is now at (x1, y1), in surface pixels.
struct PointerPress {
    PointerButton button = PointerButton::Left;
    bool shift = false, control = false;
    double x0 = 0, y0 = 0;
};

// Pointer movement below this many pixels (either way) is a press, not a drag.
inline constexpr double kDragThreshold = 3;

// What the press becomes with the pointer at (x1, y1): while dragging, what
// to preview; on release, what to do. The left button pans (with Ctrl it
// spans a rectangle) once it moves, and zooms in when it does not; Shift
// with the left button, or the right button, zooms out; the middle button
// zooms in.
GestureKind gestureOf(const PointerPress& press, double x1, double y1);

// The zoom factor of a wheel turned by `angleDelta` eighths of a degree
// (120 a notch, less on high-resolution wheels): 2 a notch forward, 1/2 back.
double wheelFactor(int angleDelta);

} // namespace mandel
