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

void PictureBox::setOuterSize(QSize outer, qreal devicePixelRatio)
{
    const QSize drawable(std::max(1, outer.width() - 2 * kBorder), std::max(1, outer.height() - 2 * kBorder));
    const QSize startUp(kDrawableSize, kDrawableSize);
    const qreal ratio = drawable == startUp ? 1.0 : std::max<qreal>(1.0, devicePixelRatio);
    const QSize pixels(static_cast<int>(std::lround(drawable.width() * ratio)),
                       static_cast<int>(std::lround(drawable.height() * ratio)));
    setFixedSize(outer);
    if (drawable == drawable_ && pixels == image_.size())
        return;
    drawable_ = drawable;
    image_ = QImage(pixels, QImage::Format_RGB32);
    image_.fill(toQRgb(kBackground));
    dirtyMin_ = image_.width();
    dirtyMax_ = -1;
    rowsDirty_ = false;
    update();
}

bool PictureBox::inside(double x, double y) const noexcept
{
    return x >= 0 && y >= 0 && x < drawable_.width() && y < drawable_.height();
}

void PictureBox::setRows(int y0, const std::uint8_t* rgb, int rows)
{
    const int width = image_.width();
    for (int r = 0; r < rows; ++r) {
        const int y = y0 + r;
        if (y < 0 || y >= image_.height())
            continue;
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        const std::uint8_t* from = rgb + static_cast<std::ptrdiff_t>(r) * width * 3;
        for (int x = 0; x < width; ++x, from += 3)
            line[x] = qRgb(from[0], from[1], from[2]);
    }
    rowsDirty_ = true;
}

void PictureBox::clear()
{
    image_.fill(toQRgb(kBackground));
    dirtyMin_ = image_.width();
    dirtyMax_ = -1;
    update(contentsRect());
}

void PictureBox::setPixel(int x, int y, Colour c)
{
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
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
    if (x < 0 || x >= image_.width())
        return;
    const int rows = std::min(count, image_.height());
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
    dirtyMin_ = image_.width();
    dirtyMax_ = -1;
    update(contentsRect());
}

void PictureBox::flush()
{
    if (rowsDirty_ || (dirtyMax_ >= dirtyMin_ && image_.size() != drawable_)) {
        update(contentsRect());
    } else if (dirtyMax_ >= dirtyMin_) {
        update(QRect(kBorder + dirtyMin_, kBorder, dirtyMax_ - dirtyMin_ + 1, image_.height()));
    }
    rowsDirty_ = false;
    dirtyMin_ = image_.width();
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
    const QRect area(QPoint(kBorder, kBorder), drawable_);
    if (image_.size() != drawable_) {
        // Device pixels (or a size being changed): the whole image on the
        // drawable area, one image pixel to a device pixel.
        painter.setClipRect(area);
        if (!dragOffset_.isNull())
            painter.fillRect(area, QColor::fromRgb(toQRgb(kBackground)));
        painter.drawImage(QRectF(area.translated(dragOffset_)), image_, QRectF(image_.rect()));
        painter.setClipping(false);
    } else if (!dragOffset_.isNull()) {
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
    if (!inside(x, y)) {
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
    if (event->angleDelta().y() == 0 || !inside(x, y)) {
        event->ignore();
        return;
    }
    event->accept();
    emit wheeled(event->angleDelta().y(), x, y);
}

} // namespace mandel
