#pragma once

#include "SmoothColours.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace mandel {

class Form1;

// View > Colours...: the nine modes, or a palette laid on the smooth escape
// value: a built-in or custom stops (edited as text, RRGGBB@P joined by
// commas), with a preview of the gradient, its density and offset, shading
// and samples. OK hands the choice to the window, as one command.
class ColoursDialog final : public QDialog {
    Q_OBJECT

public:
    // Shows `form`'s current colours; `form` must outlive the dialog.
    explicit ColoursDialog(Form1& form);

    QComboBox* palette() const noexcept { return palette_; }
    QLineEdit* stops() const noexcept { return stops_; }
    QDoubleSpinBox* density() const noexcept { return density_; }
    QSlider* offset() const noexcept { return offset_; }
    QComboBox* shading() const noexcept { return shading_; }
    QSpinBox* samples() const noexcept { return samples_; }
    QLabel* preview() const noexcept { return preview_; }
    QLabel* problem() const noexcept { return problem_; }

    // The colours the fields give; none: the modes. Fails with a reason for
    // stops that do not read.
    std::optional<std::optional<SmoothColours>> chosen() const;

    void accept() override;

private:
    void paletteChosen();
    void refresh();

    Form1& form_;
    QComboBox* palette_ = nullptr;
    QLineEdit* stops_ = nullptr;
    QDoubleSpinBox* density_ = nullptr;
    QCheckBox* logDensity_ = nullptr;
    QSlider* offset_ = nullptr;
    QComboBox* shading_ = nullptr;
    QSpinBox* samples_ = nullptr;
    QLabel* preview_ = nullptr;
    QLabel* problem_ = nullptr;
};

} // namespace mandel
