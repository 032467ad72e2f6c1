#include "ColoursDialog.h"

#include "DialogParts.h"

#include "Form1.h"
#include "SmoothColour.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mandel {

namespace {

constexpr int kModes = 0;        // the first entry: the nine modes
constexpr int kOffsetSteps = 1000;  // the offset slider's steps in [0, 1)
constexpr int kPreviewWidth = 360;
constexpr int kPreviewHeight = 24;

} // namespace

ColoursDialog::ColoursDialog(Form1& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("coloursDialog"));
    setWindowTitle(tr("Colours"));
    auto* layout = new QVBoxLayout(this);
    auto* rows = new QFormLayout;

    palette_ = new QComboBox(this);
    palette_->setObjectName(QStringLiteral("palette"));
    palette_->addItem(tr("The nine colour modes"));
    for (const BuiltInPalette& p : builtInPalettes())
        palette_->addItem(QString::fromUtf8(p.name.data(), static_cast<qsizetype>(p.name.size())));
    palette_->addItem(tr("Custom stops"));
    rows->addRow(tr("&Palette:"), palette_);

    stops_ = new QLineEdit(this);
    stops_->setObjectName(QStringLiteral("stops"));
    stops_->setToolTip(tr("Stops RRGGBB@P joined by commas, P in [0, 1) rising: add, move, recolour or remove "
                          "one by editing it"));
    rows->addRow(tr("S&tops:"), stops_);

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("preview"));
    preview_->setFixedSize(kPreviewWidth, kPreviewHeight);
    rows->addRow(tr("Preview:"), preview_);

    density_ = new QDoubleSpinBox(this);
    density_->setObjectName(QStringLiteral("density"));
    density_->setRange(0.01, 999999);
    density_->setDecimals(2);
    logDensity_ = new QCheckBox(tr("&Logarithmic (doublings per cycle)"), this);
    logDensity_->setObjectName(QStringLiteral("logDensity"));
    rows->addRow(tr("&Density:"), density_);
    rows->addRow(QString(), logDensity_);

    offset_ = new QSlider(Qt::Horizontal, this);
    offset_->setObjectName(QStringLiteral("offset"));
    offset_->setRange(0, kOffsetSteps - 1);
    rows->addRow(tr("&Offset:"), offset_);

    shading_ = new QComboBox(this);
    shading_->setObjectName(QStringLiteral("shading"));
    for (const Shading s : {Shading::None, Shading::Distance, Shading::Slopes}) {
        const std::string_view name = shadingName(s);
        shading_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }
    rows->addRow(tr("S&hading:"), shading_);

    samples_ = new QSpinBox(this);
    samples_->setObjectName(QStringLiteral("samples"));
    samples_->setRange(1, kMaxSamples);
    rows->addRow(tr("Sa&mples a side:"), samples_);
    layout->addLayout(rows);

    problem_ = addProblemLine(*this, *layout);

    addOkCancel(*this, *layout);

    // The colours shown now.
    const SmoothColours now = form_.smoothColours() ? *form_.smoothColours() : SmoothColours{};
    int index = kModes;
    if (form_.smoothColours()) {
        index = palette_->count() - 1;
        for (int k = 1; k + 1 < palette_->count(); ++k)
            if (palette_->itemText(k).toStdString() == now.palette)
                index = k;
    }
    stops_->setText(QString::fromStdString(formatStops(stopsOf(now))));
    density_->setValue(static_cast<double>(now.density));
    logDensity_->setChecked(now.logDensity);
    offset_->setValue(static_cast<int>(now.offset * kOffsetSteps));
    shading_->setCurrentIndex(static_cast<int>(now.shading));
    samples_->setValue(now.samples);
    palette_->setCurrentIndex(index);

    connect(palette_, &QComboBox::currentIndexChanged, this, [this] { paletteChosen(); });
    connect(stops_, &QLineEdit::textEdited, this, [this] {
        palette_->setCurrentIndex(palette_->count() - 1);  // an edited gradient is a custom one
        refresh();
    });
    connect(density_, &QDoubleSpinBox::valueChanged, this, [this] { refresh(); });
    connect(offset_, &QSlider::valueChanged, this, [this] { refresh(); });
    refresh();
}

void ColoursDialog::paletteChosen()
{
    const int index = palette_->currentIndex();
    if (index > kModes && index + 1 < palette_->count())
        if (const BuiltInPalette* p = findPalette(palette_->currentText().toStdString()))
            stops_->setText(QString::fromStdString(formatStops(p->stops)));
    refresh();
}

std::optional<std::optional<SmoothColours>> ColoursDialog::chosen() const
{
    const int index = palette_->currentIndex();
    if (index == kModes)
        return std::optional<SmoothColours>();
    SmoothColours c;
    if (index + 1 < palette_->count()) {
        c.palette = palette_->currentText().toStdString();
    } else {
        auto stops = parseStops(stops_->text().toStdString());
        if (!stops)
            return std::nullopt;
        c.palette.clear();
        c.stops = std::move(*stops);
    }
    c.density = static_cast<float>(density_->value());
    c.logDensity = logDensity_->isChecked();
    c.offset = static_cast<float>(offset_->value()) / kOffsetSteps;
    c.shading = static_cast<Shading>(shading_->currentIndex());
    c.samples = samples_->value();
    return std::optional<SmoothColours>(c);
}

void ColoursDialog::refresh()
{
    const bool modes = palette_->currentIndex() == kModes;
    for (QWidget* w : {static_cast<QWidget*>(stops_), static_cast<QWidget*>(density_),
                       static_cast<QWidget*>(logDensity_), static_cast<QWidget*>(offset_),
                       static_cast<QWidget*>(shading_), static_cast<QWidget*>(samples_)})
        w->setEnabled(!modes);
    const auto c = chosen();
    problem_->setVisible(!c);
    if (!c) {
        problem_->setText(tr("Stops: ") + QString::fromUtf8(kStopsAccepts.data(),
                                                           static_cast<qsizetype>(kStopsAccepts.size())));
        return;
    }
    // One cycle of the gradient, from the offset on.
    QImage strip(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
    strip.fill(Qt::lightGray);
    if (*c) {
        const GradientMap map(**c);
        const double offset = static_cast<double>((*c)->offset);
        for (int x = 0; x < kPreviewWidth; ++x) {
            double t = static_cast<double>(x) / kPreviewWidth + offset;
            t -= static_cast<double>(static_cast<int>(t));
            const Colour colour = colourOf(map.gradientAt(t));
            for (int y = 0; y < kPreviewHeight; ++y)
                strip.setPixel(x, y, qRgb(redOf(colour), greenOf(colour), blueOf(colour)));
        }
    }
    preview_->setPixmap(QPixmap::fromImage(strip));
}

void ColoursDialog::accept()
{
    const auto c = chosen();
    if (!c)
        return;
    if (!form_.setColours(*c)) {
        problem_->setText(form_.noticeText());
        problem_->show();
        return;
    }
    QDialog::accept();
}

} // namespace mandel
