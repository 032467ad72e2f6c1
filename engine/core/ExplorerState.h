#pragma once

#include <cstdint>
#include <string>

namespace mandel {

class RandomSource;

// The one record every command and the renderer read and write. The view is
// double precision, the colour parameters single precision, whole numbers
// stay whole; the field names are the program's historical short names.
struct ExplorerState {
    std::int16_t wid = 0;   // surface width; columns run 0..wid inclusive
    std::int16_t hei = 0;   // surface height; rows run 0..hei inclusive
    double di = 0;          // horizontal pixel offset of the view
    double dj = 0;          // vertical pixel offset of the view
    double zoomx1 = 0;      // pixels per plane unit, horizontally
    double zoomx2 = 0;      // plane shift, horizontally
    double zoomy1 = 0;      // pixels per plane unit, vertically
    double zoomy2 = 0;      // plane shift, vertically
    float fn1 = 0, fn2 = 0, fn3 = 0;  // colour multipliers, [0, 10)
    std::int16_t f = 0;     // zoom factor of one click
    double f1 = 0;          // accumulated magnification, a power of f
    std::string imeslike;   // name of the last saved picture
    float b = 0;            // colour mode 1..9
    float m1 = 0, m2 = 0, m3 = 0;  // moduli of colour modes 2 and 3, 150..304

    friend bool operator==(const ExplorerState&, const ExplorerState&) = default;
};

// Width and height the program gives the surface at start-up.
inline constexpr std::int16_t kSurfaceSize = 600;

// Puts the view back to the full picture; keeps size, colours and imeslike.
void ResetView(ExplorerState& s);

// Draws fn1..fn3, b and m1..m3 from seven draws of `rng`, in that order.
void DrawColourParameters(ExplorerState& s, RandomSource& rng);

// Zooms by f around surface pixel (X, Y): that point becomes the centre.
void ZoomAt(ExplorerState& s, float X, float Y);

// ZoomAt, unless the result would leave the range of a double; returns
// whether it zoomed (a refused zoom leaves `s` unchanged).
bool tryZoomAt(ExplorerState& s, float X, float Y);

// Plane x of column x: (x + di) / zoomx1 - zoomx2.
double planeX(const ExplorerState& s, int x);

// Plane y of row y: zoomy2 - (y + dj) / zoomy1.
double planeY(const ExplorerState& s, int y);

} // namespace mandel
