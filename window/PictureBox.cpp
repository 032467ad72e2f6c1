#include "PictureBox.h"

#include "QtColour.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace mandel {

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent), image_(kDrawableSize, kDrawableSize, QImage::Format_RGB32)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setFixedSize(kOuterSize, kOuterSize);
    // Every pixel is painted from the image: no background fill first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.fill(toQRgb(kBackground));
}

void PictureBox::clear()
{
    image_.fill(toQRgb(kBackground));
    dirtyMin_ = kDrawableSize;
    dirtyMax_ = -1;
    update(contentsRect());
}

void PictureBox::setPixel(int x, int y, Colour c)
{
    if (x < 0 || y < 0 || x >= kDrawableSize || y >= kDrawableSize)
        return;
    // scanLine() detaches a copy handed out by image(), so a snapshot taken
    // mid-drawing keeps what it saw.
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = toQRgb(c);
    if (x < dirtyMin_)
        dirtyMin_ = x;
    if (x > dirtyMax_)
        dirtyMax_ = x;
}

void PictureBox::setColumn(int x, const Colour* colours, int count)
{
    if (x < 0 || x >= kDrawableSize)
        return;
    const int rows = std::min(count, kDrawableSize);
    if (rows <= 0)
        return;
    // bits() detaches a shared copy once, as scanLine() does per row.
    uchar* at = image_.bits() + static_cast<std::ptrdiff_t>(x) * 4;
    const auto stride = image_.bytesPerLine();
    for (int y = 0; y < rows; ++y, at += stride)
        *reinterpret_cast<QRgb*>(at) = toQRgb(colours[y]);
    dirtyMin_ = std::min(dirtyMin_, x);
    dirtyMax_ = std::max(dirtyMax_, x);
}

void PictureBox::setImage(const QImage& picture)
{
    const QImage sized = picture.size() == image_.size()
                             ? picture
                             : picture.scaled(image_.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    image_ = sized.convertToFormat(QImage::Format_RGB32);
    dirtyMin_ = kDrawableSize;
    dirtyMax_ = -1;
    update(contentsRect());
}

void PictureBox::flush()
{
    if (dirtyMax_ < dirtyMin_)
        return;
    update(QRect(kBorder + dirtyMin_, kBorder, dirtyMax_ - dirtyMin_ + 1, kDrawableSize));
    dirtyMin_ = kDrawableSize;
    dirtyMax_ = -1;
}

void PictureBox::setDragOffset(QPoint offset)
{
    if (offset == dragOffset_)
        return;
    dragOffset_ = offset;
    update(contentsRect());
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // Only the part asked for: during drawing that is one column.
    const QRect wanted = event->rect() & contentsRect();
    if (!dragOffset_.isNull()) {
        painter.setClipRect(contentsRect());
        painter.fillRect(contentsRect(), QColor::fromRgb(toQRgb(kBackground)));
        painter.drawImage(contentsRect().topLeft() + dragOffset_, image_);
        painter.setClipping(false);
    } else if (!wanted.isEmpty()) {
        painter.drawImage(wanted, image_, wanted.translated(-kBorder, -kBorder));
    }
    painter.end();
    QFrame::paintEvent(event);  // the border
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    // The border is not part of the surface; a press there is no press on it.
    // Flooring in logical pixels makes a press at any scale factor land on
    // the same picture pixel.
    const QPointF p = event->position();
    const double x = std::floor(p.x()) - kBorder;
    const double y = std::floor(p.y()) - kBorder;
    if (x < 0 || y < 0 || x >= kDrawableSize || y >= kDrawableSize) {
        event->ignore();
        return;
    }
    event->accept();
    emit pressed(event->button(), event->modifiers(), static_cast<float>(x), static_cast<float>(y));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    emit moved(std::floor(p.x()) - kBorder, std::floor(p.y()) - kBorder);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    emit released(event->button(), std::floor(p.x()) - kBorder, std::floor(p.y()) - kBorder);
}

void PictureBox::wheelEvent(QWheelEvent* event)
{
    const QPointF p = event->position();
    const double x = std::floor(p.x()) - kBorder;
    const double y = std::floor(p.y()) - kBorder;
    if (event->angleDelta().y() == 0 || x < 0 || y < 0 || x >= kDrawableSize || y >= kDrawableSize) {
        event->ignore();
        return;
    }
    event->accept();
    emit wheeled(event->angleDelta().y(), x, y);
}

} // namespace mandel
