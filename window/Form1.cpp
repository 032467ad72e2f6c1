#include "Form1.h"

#include "AppIcon.h"
#include "FastComputer.h"
#include "OneLine.h"
#include "PictureBox.h"
#include "QtColour.h"
#include "StatusLine.h"
#include "Surface.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>

namespace mandel {

namespace {

// Space kept free right of and below the outermost element.
constexpr int kMargin = 24;
// The notice line starts this far below the top of the status line.
constexpr int kNoticeGap = 4;

// The widest status line there can be: one-digit mode, fifteen-digit magnification.
QString widestStatusLine()
{
    ExplorerState s;
    s.b = 8;
    s.f1 = 888888888888888.0;
    return QString::fromStdString(statusLine(s));
}

} // namespace

Form1::Form1(std::uint64_t seed, std::string saveFolder, const Clock& clock, QWidget* parent)
    : QWidget(parent), seed_(seed), saver_(std::move(saveFolder), clock), renderer_(makeFastComputer())
{
    buildLayout();
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(explorerIcon());

    struct Button {
        QPushButton*& widget;
        const char* name;
        const char* caption;
        QRect geometry;
        QString tip;
    };
    const QString folder = QString::fromStdString(onOneLine(saver_.folder()));
    const Button buttons[] = {
        {command5_, "Command5", "EXPLORE MANDELBROT FRACTAL", {48, 16, 201, 17},
         tr("Mandelbrot explorer: press a mouse button on the picture to zoom in tenfold around that point")},
        {command1_, "Command1", "new", {376, 16, 49, 17}, tr("New random colours over the full view (Ctrl+N)")},
        {command2_, "Command2", "back", {432, 16, 49, 17}, tr("Back to the full view in the same colours (Backspace)")},
        {command4_, "Command4", "save C:\\tivek-art", {488, 16, 105, 17},
         tr("Save the picture as a BMP file in %1 (Ctrl+S)").arg(folder)},
        {command3_, "Command3", "exit", {600, 16, 49, 17}, tr("End the program (Ctrl+Q)")},
    };
    // The captions were set for buttons 17 pixels high: a small face fits them.
    QFont captionFont = font();
    captionFont.setPixelSize(11);
    for (const Button& b : buttons) {
        b.widget = new QPushButton(QString::fromLatin1(b.caption), this);
        b.widget->setFont(captionFont);
        b.widget->setObjectName(QString::fromLatin1(b.name));
        b.widget->setGeometry(b.geometry);
        b.widget->setToolTip(b.tip);
    }

    // Picture2 first and lowered, so that Picture1 lies on top of it.
    picture2_ = new PictureBox(this);
    picture2_->setObjectName(QStringLiteral("Picture2"));
    picture2_->move(48, 48);
    picture2_->lower();
    picture2_->hide();
    picture2_->setFocusPolicy(Qt::StrongFocus);  // in the tab order, though never reached while hidden
    picture1_ = new PictureBox(this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->move(48, 48);
    picture1_->setFocusPolicy(Qt::StrongFocus);
    picture1_->setCursor(Qt::CrossCursor);

    setTabOrder(picture1_, command1_);
    setTabOrder(command1_, command2_);
    setTabOrder(command2_, command3_);
    setTabOrder(command3_, picture2_);
    setTabOrder(picture2_, command4_);
    setTabOrder(command4_, command5_);

    connect(picture1_, &PictureBox::pressed, this, &Form1::OnPictureMouseDown);
    connect(command1_, &QPushButton::clicked, this, &Form1::OnNew);
    connect(command2_, &QPushButton::clicked, this, &Form1::OnBack);
    connect(command3_, &QPushButton::clicked, this, &Form1::OnExit);
    connect(command4_, &QPushButton::clicked, this, &Form1::OnSave);
    // The banner can be pressed and does nothing.

    const struct {
        QKeySequence keys;
        void (Form1::*handler)();
    } shortcuts[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), &Form1::OnNew},
        {QKeySequence(Qt::Key_Backspace), &Form1::OnBack},
        {QKeySequence(Qt::CTRL | Qt::Key_S), &Form1::OnSave},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), &Form1::OnExit},
    };
    for (const auto& s : shortcuts)
        connect(new QShortcut(s.keys, this), &QShortcut::activated, this, s.handler);

    const QFontMetrics metrics(font());
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setTextFormat(Qt::PlainText);
    const int noticeTop = kStatusY + metrics.height() + kNoticeGap;
    const int statusRight = kStatusX + metrics.horizontalAdvance(widestStatusLine());
    const int width = std::max(48 + PictureBox::kOuterSize, statusRight) + kMargin;
    notice_->setGeometry(kStatusX, noticeTop, width - kStatusX - kMargin, metrics.height() + 2);

    // Large enough for every element and the status line, and never smaller.
    const QSize needed(width, noticeTop + metrics.height() + 2 + kMargin / 2);
    setMinimumSize(needed);
    resize(needed);
}

void Form1::OnLoad()
{
    show();
    rng_.reseed(seed_);
    clearWindow();
    state_.wid = kSurfaceSize;
    state_.hei = kSurfaceSize;
    // A folder that cannot be made now is tried again, and reported, on save.
    (void)saver_.prepareFolder();
    DrawColourParameters(state_, rng_);
    ResetView(state_);
    DrawFractal();
}

void Form1::OnPictureMouseDown(Qt::MouseButton /*button*/, Qt::KeyboardModifiers /*shift*/, float X, float Y)
{
    if (ending_)
        return;
    ExplorerState zoomed = state_;
    if (!tryZoomAt(zoomed, X, Y)) {
        // Picture, state and status line stay; only the reason is added.
        QApplication::beep();
        showNotice(tr("Cannot zoom in further: one more tenfold zoom would carry the view past the range "
                      "of a double. Press \"back\" for the full view."));
        return;
    }
    picture1_->clear();
    state_ = zoomed;
    clearWindow();
    DrawFractal();
}

void Form1::OnNew()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    ResetView(state_);
    DrawColourParameters(state_, rng_);
    DrawFractal();
}

void Form1::OnBack()
{
    if (ending_)
        return;
    picture1_->clear();
    clearWindow();
    ResetView(state_);
    DrawFractal();
}

void Form1::OnExit()
{
    if (ending_)
        return;
    clearWindow();
    endProgram();
}

void Form1::OnSave()
{
    if (ending_)
        return;
    picture2_->setImage(picture1_->image());
    const Result<std::string> saved = saver_.save(toRgbImage(picture2_->image()), state_);
    if (saved) {
        showNotice(tr("Saved %1").arg(QString::fromStdString(*saved)), false);
        return;
    }
    QApplication::beep();
    // The reason starts with the path attempted.
    showNotice(tr("Could not save the picture to %1").arg(QString::fromStdString(saved.error())));
}

void Form1::DrawFractal()
{
    if (ending_)
        return;
    if (drawing_) {
        // Inside a yield: the running loop draws this state once we return.
        redrawPending_ = true;
        return;
    }
    drawing_ = true;
    int column = 0;
    DrawHooks hooks;
    hooks.yield = [this, &column] { return yieldToEvents(column++); };
    hooks.printStatus = [this](const std::string& line) { printStatus(line); };
    do {
        redrawPending_ = false;
        column = 0;
        renderer_.DrawFractal(state_, *picture1_, hooks);
    } while (redrawPending_ && !ending_);
    drawing_ = false;
    picture1_->flush();
}

bool Form1::yieldToEvents(int column)
{
    picture1_->flush();
    if (yieldHook_)
        yieldHook_(column);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !redrawPending_ && !ending_;
}

const QImage& Form1::pictureImage() const
{
    return picture1_->image();
}

QString Form1::noticeText() const
{
    return notice_->text();
}

QRect Form1::statusRect() const
{
    const QFontMetrics metrics(font());
    return {kStatusX, kStatusY, width() - kStatusX, metrics.height()};
}

void Form1::clearWindow()
{
    statusText_.clear();
    notice_->clear();
    update(statusRect());
}

void Form1::printStatus(const std::string& line)
{
    statusText_ = QString::fromStdString(line);
    update(statusRect());
    emit statusPrinted(statusText_);
}

void Form1::showNotice(const QString& text, bool problem)
{
    // Problems in red, so that a success never reads like one.
    notice_->setStyleSheet(problem ? QStringLiteral("color: #a00000;") : QString());
    // One line, whatever the path in it holds: a line break would run over
    // the status line.
    notice_->setText(QString::fromStdString(onOneLine(text.toStdString())));
}

void Form1::endProgram()
{
    ending_ = true;
    emit ended();
    // Returns from the event loop with status 0 as soon as the running
    // handler, and any drawing it is inside, has unwound.
    QCoreApplication::exit(0);
}

void Form1::paintEvent(QPaintEvent* /*event*/)
{
    if (statusText_.isEmpty())
        return;
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The text position is the top of the line, as the window prints it.
    painter.drawText(QPoint(kStatusX, kStatusY + metrics.ascent()), statusText_);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!ending_)
        endProgram();
    event->accept();
}

} // namespace mandel
