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
    return {kStatusX, kStatusY, width() - kStatusX, metrics.height()};
}

void ClientArea::paintEvent(QPaintEvent* /*event*/)
{
    if (statusText_.isEmpty())
        return;
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The text position is the top of the line, as the window prints it.
    painter.drawText(QPoint(kStatusX, kStatusY + metrics.ascent()), statusText_);
}

} // namespace mandel
