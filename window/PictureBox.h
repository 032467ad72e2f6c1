#pragma once

#include "Surface.h"

#include <QFrame>
#include <QImage>

#include <cstdint>

namespace mandel {

// A picture surface: 600 x 600 outside at start-up, a sunken 2-pixel
// border, and a 596 x 596 drawable area backed by an image that keeps
// everything drawn on it, so an uncovered surface shows it again. It can be
// given any other size, its image then in device pixels (on a high-DPI
// screen more than the drawable area's logical pixels). Presses inside the
// drawable area are reported in drawable-area (logical) pixels.
class PictureBox final : public QFrame, public Surface {
    Q_OBJECT

public:
    // Width of the sunken border on each side.
    static constexpr int kBorder = 2;
    // Outer side of the surface.
    static constexpr int kOuterSize = kDrawableSize + 2 * kBorder;

    explicit PictureBox(QWidget* parent = nullptr);

    // Gives the surface `outer` logical pixels outside. The drawable area
    // inside the border keeps an image of 596 x 596 at the start-up size,
    // whatever the screen; at any other size one of its device pixels at
    // `devicePixelRatio`. A new size clears the picture.
    void setOuterSize(QSize outer, qreal devicePixelRatio);
    // The drawable area in logical pixels.
    QSize drawableSize() const noexcept { return drawable_; }
    // Sets rows y0.. of the image from `rgb` (three bytes a pixel, rows of
    // the image's width), and asks for their repaint at the next flush.
    void setRows(int y0, const std::uint8_t* rgb, int rows);

    // Fills the drawable area with the background colour.
    void clear() override;
    // Sets pixel (x, y) of the drawable area; ignored outside it.
    void setPixel(int x, int y, Colour c) override;
    void setColumn(int x, const Colour* colours, int count) override;

    // Everything drawn so far, in RGB32: 596 x 596 at the start-up size.
    const QImage& image() const noexcept { return image_; }
    // Replaces the content (the background picture) with `picture`, scaled to
    // the drawable area if its size differs.
    void setImage(const QImage& picture);

    // Asks for a repaint of the columns set since the last flush, only those.
    void flush();

    // Shows the picture moved by `offset` pixels (a drag under way), the
    // uncovered part in the background colour; (0, 0) shows it as it is.
    void setDragOffset(QPoint offset);

signals:
    // A mouse button went down at drawable-area pixel (X, Y).
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers shift, float X, float Y);
    // The pointer moved to (X, Y), in drawable-area pixels (outside it too
    // while a button is held).
    void moved(double X, double Y);
    // A mouse button went up with the pointer at (X, Y).
    void released(Qt::MouseButton button, double X, double Y);
    // The wheel turned by `angleDelta` eighths of a degree over (X, Y).
    void wheeled(int angleDelta, double X, double Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // Whether logical pixel (x, y) lies in the drawable area.
    bool inside(double x, double y) const noexcept;

    QSize drawable_{kDrawableSize, kDrawableSize};
    QImage image_;
    QPoint dragOffset_;
    bool rowsDirty_ = false;
    int dirtyMin_ = kDrawableSize;  // columns dirtyMin_..dirtyMax_ wait for a repaint
    int dirtyMax_ = -1;
};

} // namespace mandel
