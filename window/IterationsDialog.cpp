#include "IterationsDialog.h"

#include "DialogParts.h"

#include "AutoIterations.h"
#include "Form1.h"
#include "Location.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mandel {

IterationsDialog::IterationsDialog(Form1& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("iterationsDialog"));
    setWindowTitle(tr("Iterations"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("The iteration cap of deep zoom: points still inside after this many steps are "
                                "coloured as part of the set. Deeper views need more."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    automatic_ = new QCheckBox(tr("&Automatic: raised fourfold while more than 3 % of the picture's edges reach "
                                  "it (up to %1)")
                                   .arg(kAutoIterationsCeiling),
                               this);
    automatic_->setObjectName(QStringLiteral("automatic"));
    layout->addWidget(automatic_);

    auto* rows = new QFormLayout;
    iterations_ = new QSpinBox(this);
    iterations_->setObjectName(QStringLiteral("iterations"));
    // The spin box itself refuses anything outside the range.
    iterations_->setRange(static_cast<int>(kMinDeepIterations), static_cast<int>(kMaxDeepIterations));
    iterations_->setGroupSeparatorShown(true);
    const long long now = form_.deepView() ? form_.deepView()->iterations : kDefaultDeepIterations;
    iterations_->setValue(static_cast<int>(now));
    rows->addRow(tr("&Cap:"), iterations_);
    layout->addLayout(rows);

    problem_ = addProblemLine(*this, *layout);

    addOkCancel(*this, *layout);

    connect(automatic_, &QCheckBox::toggled, iterations_, [this](bool on) { iterations_->setEnabled(!on); });
    automatic_->setChecked(form_.automaticIterations());
    iterations_->setEnabled(!automatic_->isChecked());
}

void IterationsDialog::accept()
{
    // A number typed out of range is not quietly replaced by the last good one.
    if (!automatic_->isChecked() && !iterations_->hasAcceptableInput()) {
        problem_->setText(tr("The iteration cap is a whole number %1 to %2; '%3' is not.")
                              .arg(kMinDeepIterations)
                              .arg(kMaxDeepIterations)
                              .arg(iterations_->cleanText()));
        problem_->show();
        return;
    }
    if (!form_.setIterations(automatic_->isChecked(), iterations_->value())) {
        problem_->setText(form_.noticeText());
        problem_->show();
        return;
    }
    QDialog::accept();
}

} // namespace mandel
