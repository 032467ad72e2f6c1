#pragma once

#include "Location.h"

#include <QDialog>
#include <QString>

#include <string>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace mandel {

// File > Make zoom video...: the frame size, the frame rate, the length and
// the file (an MP4, proposed in `folder` under the name of `stamp`, never
// one that is taken) of a dive from the full view to the view shown.
class ZoomVideoDialog final : public QDialog {
    Q_OBJECT

public:
    ZoomVideoDialog(const QString& folder, const QString& stamp, QWidget* parent = nullptr);

    QComboBox* sizes() const noexcept { return size_; }
    QSpinBox* fpsEdit() const noexcept { return fps_; }
    QDoubleSpinBox* secondsEdit() const noexcept { return seconds_; }
    QLineEdit* pathEdit() const noexcept { return path_; }

    // The choice, once accepted.
    PictureSize chosenSize() const noexcept { return chosenSize_; }
    int chosenFps() const noexcept { return chosenFps_; }
    double chosenSeconds() const noexcept { return chosenSeconds_; }
    std::string chosenPath() const { return chosenPath_; }

    void accept() override;

private:
    void browse();

    QComboBox* size_ = nullptr;
    QSpinBox* fps_ = nullptr;
    QDoubleSpinBox* seconds_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLabel* problem_ = nullptr;
    PictureSize chosenSize_{1920, 1080};
    int chosenFps_ = 60;
    double chosenSeconds_ = 20;
    std::string chosenPath_;
};

} // namespace mandel
