#include "ExportDialog.h"

#include "DialogParts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

namespace mandel {

namespace {

struct Preset {
    int width, height;
    const char* note;
};

// The sizes people export most: screens, and a square for prints.
constexpr Preset kPresets[] = {
    {1920, 1080, "Full HD"},
    {3840, 2160, "4K"},
    {7680, 4320, "8K"},
    {8192, 8192, "square"},
};
constexpr int kCustom = static_cast<int>(std::size(kPresets));

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// A side 1 to kMaxExportSide, or 0 for anything else.
int sideOf(std::string_view text)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 5)
        return 0;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value <= kMaxExportSide ? value : 0;
}

const char* extensionOf(ImageFormat format)
{
    return format == ImageFormat::Bmp ? ".bmp" : ".png";
}

// The format the ending of `path` names, if it names one.
std::optional<ImageFormat> formatNamedBy(const QString& path)
{
    if (path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        return ImageFormat::Png;
    if (path.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
        return ImageFormat::Bmp;
    return std::nullopt;
}

// `path` with its .png or .bmp ending (or none) replaced by that of `format`.
QString withExtension(const QString& path, ImageFormat format)
{
    QString stem = path;
    if (formatNamedBy(stem))
        stem.chop(4);
    return stem + QString::fromLatin1(extensionOf(format));
}

} // namespace

Result<PictureSize> exportSizeOf(std::string_view width, std::string_view height)
{
    const int w = sideOf(width);
    const int h = sideOf(height);
    if (w == 0)
        return fail("The width must be a whole number from 1 to " + std::to_string(kMaxExportSide) + ".", EINVAL);
    if (h == 0)
        return fail("The height must be a whole number from 1 to " + std::to_string(kMaxExportSide) + ".", EINVAL);
    return PictureSize{w, h};
}

std::string exportFileName(const std::string& stamp, PictureSize size, ImageFormat format)
{
    return stamp + "-" + std::to_string(size.width) + "x" + std::to_string(size.height) + extensionOf(format);
}

std::string firstFreePath(const std::string& path)
{
    const auto taken = [](const std::string& p) {
        std::error_code error;
        // A dangling link is taken too: writing there would follow it.
        return std::filesystem::symlink_status(p, error).type() != std::filesystem::file_type::not_found;
    };
    if (!taken(path))
        return path;
    const std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        dot = path.size();
    const std::string stem = path.substr(0, dot);
    const std::string extension = path.substr(dot);
    for (int k = 2;; ++k) {
        std::string candidate = stem + "-" + std::to_string(k) + extension;
        if (!taken(candidate))
            return candidate;
    }
}

ExportDialog::ExportDialog(const QString& folder, const QString& stamp, QWidget* parent,
                           std::optional<PictureSize> lastCustom)
    : QDialog(parent), folder_(folder), stamp_(stamp)
{
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(tr("Export picture"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Draws the view shown at the size chosen and writes it to a file, while you go on "
                                "exploring. A PNG holds the view's location: File > Open picture goes back to it."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* rows = new QFormLayout;
    preset_ = new QComboBox(this);
    preset_->setObjectName(QStringLiteral("preset"));
    for (const Preset& p : kPresets)
        preset_->addItem(tr("%1 × %2 (%3)").arg(p.width).arg(p.height).arg(QString::fromLatin1(p.note)));
    preset_->addItem(tr("Custom"));
    rows->addRow(tr("&Size:"), preset_);

    auto* custom = new QHBoxLayout;
    width_ = new QLineEdit(this);
    width_->setObjectName(QStringLiteral("width"));
    height_ = new QLineEdit(this);
    height_->setObjectName(QStringLiteral("height"));
    for (QLineEdit* side : {width_, height_})
        side->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    custom->addWidget(width_);
    custom->addWidget(new QLabel(QStringLiteral("×"), this));
    custom->addWidget(height_);
    custom->addWidget(new QLabel(tr("pixels, 1 to %1 each").arg(kMaxExportSide), this));
    custom->addStretch();
    // A row of several fields: its label's key goes to the first.
    auto* sides = new QLabel(tr("&Width × height:"), this);
    sides->setBuddy(width_);
    rows->addRow(sides, custom);

    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("format"));
    format_->addItem(tr("PNG (holds the location)"));
    format_->addItem(tr("BMP"));
    rows->addRow(tr("&Format:"), format_);

    auto* file = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("path"));
    path_->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 32);
    browse_ = new QPushButton(tr("&Browse..."), this);
    browse_->setObjectName(QStringLiteral("browse"));
    file->addWidget(path_);
    file->addWidget(browse_);
    auto* fileLabel = new QLabel(tr("F&ile:"), this);
    fileLabel->setBuddy(path_);
    rows->addRow(fileLabel, file);
    layout->addLayout(rows);

    problem_ = addProblemLine(*this, *layout);

    addOkCancel(*this, *layout)->button(QDialogButtonBox::Ok)->setText(tr("&Export"));

    connect(preset_, &QComboBox::currentIndexChanged, this, &ExportDialog::onPresetChosen);
    connect(format_, &QComboBox::currentIndexChanged, this, &ExportDialog::onFormatChosen);
    // Typing a side makes the size a custom one, whatever was picked.
    for (QLineEdit* side : {width_, height_})
        connect(side, &QLineEdit::textEdited, this, [this] {
            const QSignalBlocker quiet(preset_);
            preset_->setCurrentIndex(kCustom);
        });
    connect(width_, &QLineEdit::textChanged, this, &ExportDialog::proposePath);
    connect(height_, &QLineEdit::textChanged, this, &ExportDialog::proposePath);
    connect(path_, &QLineEdit::textEdited, this, [this] { pathChosen_ = true; });
    connect(browse_, &QPushButton::clicked, this, &ExportDialog::browse);
    onPresetChosen(0);
    if (lastCustom) {
        preset_->setCurrentIndex(kCustom);
        width_->setText(QString::number(lastCustom->width));
        height_->setText(QString::number(lastCustom->height));
    }
}

ImageFormat ExportDialog::shownFormat() const
{
    return format_->currentIndex() == 1 ? ImageFormat::Bmp : ImageFormat::Png;
}

void ExportDialog::onPresetChosen(int index)
{
    // A preset fills the sides; Custom keeps them for editing.
    const bool custom = index == kCustom;
    if (!custom && index >= 0) {
        width_->setText(QString::number(kPresets[index].width));
        height_->setText(QString::number(kPresets[index].height));
    }
    if (custom)
        width_->setFocus();
    proposePath();
}

void ExportDialog::onFormatChosen()
{
    if (pathChosen_)
        path_->setText(withExtension(path_->text(), shownFormat()));
    else
        proposePath();
}

void ExportDialog::proposePath()
{
    if (pathChosen_)
        return;
    const Result<PictureSize> size = exportSizeOf(width_->text().toStdString(), height_->text().toStdString());
    // While a side is being typed, the last good name stays.
    if (!size)
        return;
    const std::string name = exportFileName(stamp_.toStdString(), *size, shownFormat());
    const QString path = QDir(folder_).filePath(QString::fromStdString(name));
    path_->setText(QString::fromStdString(firstFreePath(path.toStdString())));
}

void ExportDialog::browse()
{
    const QString filter = shownFormat() == ImageFormat::Bmp ? tr("BMP pictures (*.bmp)") : tr("PNG pictures (*.png)");
    // Replacing is never done (the file gets the next free name instead), so
    // the dialog need not ask.
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Export picture"), path_->text(), filter, nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    pathChosen_ = true;
    const std::optional<ImageFormat> named = formatNamedBy(chosen);
    if (named)
        format_->setCurrentIndex(*named == ImageFormat::Bmp ? 1 : 0);
    path_->setText(named ? chosen : withExtension(chosen, shownFormat()));
}

void ExportDialog::refuse(const QString& why)
{
    problem_->setText(why);
    problem_->show();
}

void ExportDialog::accept()
{
    const Result<PictureSize> size = exportSizeOf(width_->text().toStdString(), height_->text().toStdString());
    if (!size)
        return refuse(QString::fromStdString(size.error()));
    const QString path = path_->text().trimmed();
    if (path.isEmpty())
        return refuse(tr("Name the file the picture goes to."));
    if (QFileInfo(path).isDir())
        return refuse(tr("%1 is a folder: name a file in it.").arg(path));
    // Stricter than the writer, which takes a name without an ending as a
    // BMP: a PNG the user meant would come out as a BMP without a location.
    const std::optional<ImageFormat> named = formatNamedBy(path);
    if (!named)
        return refuse(tr("The file name must end in .png or .bmp."));
    if (*named != shownFormat())
        return refuse(tr("The file name ends in %1, but the format chosen is %2.")
                          .arg(QString::fromLatin1(extensionOf(*named)),
                               shownFormat() == ImageFormat::Bmp ? QStringLiteral("BMP") : QStringLiteral("PNG")));
    size_ = *size;
    customChosen_ = preset_->currentIndex() == kCustom;
    chosenFormat_ = *named;
    chosenPath_ = QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString();
    problem_->hide();
    QDialog::accept();
}

} // namespace mandel
