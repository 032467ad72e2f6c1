#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace mandel {

class Form1;

// View > Iterations...: the iteration cap of deep views, automatic or a
// whole number 200 to 100000000. OK hands the choice to the window; one it
// refuses (too large for memory) keeps the dialog open with the reason.
class IterationsDialog final : public QDialog {
    Q_OBJECT

public:
    // Shows `form`'s current choice; `form` must outlive the dialog.
    explicit IterationsDialog(Form1& form);

    QCheckBox* automatic() const noexcept { return automatic_; }
    QSpinBox* iterations() const noexcept { return iterations_; }
    QLabel* problem() const noexcept { return problem_; }

    void accept() override;

private:
    Form1& form_;
    QCheckBox* automatic_ = nullptr;
    QSpinBox* iterations_ = nullptr;
    QLabel* problem_ = nullptr;
};

} // namespace mandel
