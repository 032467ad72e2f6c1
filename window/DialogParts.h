#pragma once

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>

namespace mandel {

// The line under a dialog's fields that says, in red, why a value was
// refused; hidden until then. Added to `layout`; owned by `dialog`.
inline QLabel* addProblemLine(QDialog& dialog, QBoxLayout& layout)
{
    auto* problem = new QLabel(&dialog);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setStyleSheet(QStringLiteral("color: #a00000;"));
    problem->setWordWrap(true);
    problem->hide();
    layout.addWidget(problem);
    return problem;
}

// OK and Cancel, wired to the dialog's accept() and reject() (which the
// dialog may override to check its values first).
inline QDialogButtonBox* addOkCancel(QDialog& dialog, QBoxLayout& layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout.addWidget(buttons);
    return buttons;
}

} // namespace mandel
