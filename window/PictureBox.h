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

signals:
    // A mouse button went down at drawable-area pixel (X, Y).
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers shift, float X, float Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage image_;
    int dirtyMin_ = kDrawableSize;  // columns dirtyMin_..dirtyMax_ wait for a repaint
    int dirtyMax_ = -1;
};

} // namespace mandel
