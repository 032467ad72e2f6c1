#pragma once

#include "Location.h"
#include "PictureFile.h"
#include "Result.h"

#include <QDialog>

#include <optional>
#include <QString>

#include <string>
#include <string_view>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mandel {

// The largest side of an exported picture.
inline constexpr int kMaxExportSide = 65535;

// The size typed as `width` and `height`: whole numbers 1 to kMaxExportSide
// (spaces around them allowed). Fails with a one-line reason naming the side.
Result<PictureSize> exportSizeOf(std::string_view width, std::string_view height);

// "STAMP-WxH.png" (or .bmp): the name an export of `size` is proposed under.
std::string exportFileName(const std::string& stamp, PictureSize size, ImageFormat format);

// `path` when nothing is there, or else the first free of stem-2.ext,
// stem-3.ext, ...: the names a picture that never replaces one takes.
std::string firstFreePath(const std::string& path);

// File > Export picture...: the size (a preset or W x H), the format, and
// the file, proposed in `folder` under the name of `stamp` and the size
// (never one that is taken). Export checks the choice and keeps the dialog
// open with the reason while it is not one that can be written.
class ExportDialog final : public QDialog {
    Q_OBJECT

public:
    // `stamp` is the timestamp name ("M" + YYYYMMDDhhmmss) the file is named
    // from; `lastCustom`, when set, is proposed as the size.
    ExportDialog(const QString& folder, const QString& stamp, QWidget* parent = nullptr,
                 std::optional<PictureSize> lastCustom = {});

    // Whether the size accepted is a custom one (not a preset).
    bool customChosen() const noexcept { return customChosen_; }

    QComboBox* preset() const noexcept { return preset_; }
    QLineEdit* widthEdit() const noexcept { return width_; }
    QLineEdit* heightEdit() const noexcept { return height_; }
    QComboBox* format() const noexcept { return format_; }
    QLineEdit* pathEdit() const noexcept { return path_; }
    QLabel* problem() const noexcept { return problem_; }

    // The choice, once accepted.
    PictureSize chosenSize() const noexcept { return size_; }
    ImageFormat chosenFormat() const noexcept { return chosenFormat_; }
    std::string chosenPath() const { return chosenPath_; }

    void accept() override;

private:
    ImageFormat shownFormat() const;
    void onPresetChosen(int index);
    void onFormatChosen();
    void proposePath();
    void browse();
    void refuse(const QString& why);

    QString folder_;
    QString stamp_;
    bool customChosen_ = false;
    QComboBox* preset_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QComboBox* format_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* problem_ = nullptr;
    bool pathChosen_ = false;  // the user named the file: proposals stop
    PictureSize size_;
    ImageFormat chosenFormat_ = ImageFormat::Png;
    std::string chosenPath_;
};

} // namespace mandel
