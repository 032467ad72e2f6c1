#pragma once

#include <QString>
#include <QWidget>

namespace mandel {

// The window's client area below the menu bar: it holds the buttons and the
// picture surfaces at their layout positions and prints the status line on
// itself, as the old form printed on its own background.
class ClientArea final : public QWidget {
    Q_OBJECT

public:
    // Where the status line is printed: the top left of its text, in
    // client-area pixels.
    static constexpr int kStatusX = 55;
    static constexpr int kStatusY = 670;

    explicit ClientArea(QWidget* parent = nullptr);

    // The status line printed at (kStatusX, kStatusY); empty: none.
    const QString& statusText() const noexcept { return statusText_; }
    // Prints `text` as the status line (empty clears it) and repaints it.
    void setStatusText(const QString& text);
    // Where the status line is drawn, in client-area pixels.
    QRect statusRect() const;
    // Moves the status line down by `dy` pixels from its start-up place (the
    // picture above it grew by as much).
    void setStatusShift(int dy);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString statusText_;
    int shift_ = 0;
};

} // namespace mandel
