#include "ClientArea.h"

#include <QFontMetrics>
#include <QPainter>

namespace mandel {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("clientArea"));
}

void ClientArea::setStatusText(const QString& text)
{
    statusText_ = text;
    update(statusRect());
}

QRect ClientArea::statusRect() const
{
    const QFontMetrics metrics(font());
    return {kStatusX, kStatusY + shift_, width() - kStatusX, metrics.height()};
}

void ClientArea::setStatusShift(int dy)
{
    if (dy == shift_)
        return;
    shift_ = dy;
    update();
}

void ClientArea::paintEvent(QPaintEvent* /*event*/)
{
    if (statusText_.isEmpty())
        return;
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The text position is the top of the line, as the window prints it.
    painter.drawText(QPoint(kStatusX, kStatusY + shift_ + metrics.ascent()), statusText_);
}

} // namespace mandel
