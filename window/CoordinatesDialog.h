#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace mandel {

class Form1;

// View > Go to coordinates...: a centre, zoom and iteration cap typed in,
// filled with the view shown. OK goes there as a command; a field the
// window refuses keeps the dialog open with the reason, which names it.
class CoordinatesDialog final : public QDialog {
    Q_OBJECT

public:
    // `form` must outlive the dialog.
    explicit CoordinatesDialog(Form1& form);

    QLineEdit* real() const noexcept { return real_; }
    QLineEdit* imaginary() const noexcept { return imaginary_; }
    QLineEdit* zoom() const noexcept { return zoom_; }
    QLineEdit* iterations() const noexcept { return iterations_; }
    QLabel* problem() const noexcept { return problem_; }

    void accept() override;

private:
    Form1& form_;
    QLineEdit* real_ = nullptr;
    QLineEdit* imaginary_ = nullptr;
    QLineEdit* zoom_ = nullptr;
    QLineEdit* iterations_ = nullptr;
    QLabel* problem_ = nullptr;
};

} // namespace mandel
