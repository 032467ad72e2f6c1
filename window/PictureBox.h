#pragma once

#include "Surface.h"

#include <QFrame>
#include <QImage>

namespace mandel {

// A picture surface: 600 x 600 outside, a sunken 2-pixel border, and a
// 596 x 596 drawable area backed by an image that keeps everything drawn on
// it, so an uncovered surface shows it again. Presses inside the drawable
// area are reported in drawable-area pixels.
class PictureBox final : public QFrame, public Surface {
    Q_OBJECT

public:
    // Width of the sunken border on each side.
    static constexpr int kBorder = 2;
    // Outer side of the surface.
    static constexpr int kOuterSize = kDrawableSize + 2 * kBorder;

    explicit PictureBox(QWidget* parent = nullptr);

    // Fills the drawable area with the background colour.
    void clear() override;
    // Sets pixel (x, y) of the drawable area; ignored outside it.
    void setPixel(int x, int y, Colour c) override;
    void setColumn(int x, const Colour* colours, int count) override;

    // Everything drawn so far, 596 x 596 in RGB32.
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
    QImage image_;
    QPoint dragOffset_;
    int dirtyMin_ = kDrawableSize;  // columns dirtyMin_..dirtyMax_ wait for a repaint
    int dirtyMax_ = -1;
};

} // namespace mandel
