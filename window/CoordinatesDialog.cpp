#include "CoordinatesDialog.h"

#include "DialogParts.h"

#include "DeepView.h"
#include "Form1.h"
#include "Numbers.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace mandel {

CoordinatesDialog::CoordinatesDialog(Form1& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("coordinatesDialog"));
    setWindowTitle(tr("Go to coordinates"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("The centre as plain decimals (every digit is kept), the zoom K of the "
                                "magnification 10^K (a decimal), and the iteration cap (empty: chosen from the "
                                "picture)."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    const DeepCentre now = form_.currentFreeView();
    auto* rows = new QFormLayout;
    const auto field = [&](QLineEdit*& edit, const char* name, const QString& label, const QString& text) {
        edit = new QLineEdit(text, this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMinimumWidth(360);
        rows->addRow(label, edit);
    };
    field(real_, "real", tr("&Real part:"), QString::fromStdString(now.re));
    field(imaginary_, "imaginary", tr("&Imaginary part:"), QString::fromStdString(now.im));
    field(zoom_, "zoom", tr("&Zoom K:"), QString::fromStdString(writeDouble(now.zoom)));
    field(iterations_, "iterations", tr("Iteration &cap:"),
          form_.automaticIterations() ? QString() : QString::number(now.iterations));
    layout->addLayout(rows);

    problem_ = addProblemLine(*this, *layout);

    addOkCancel(*this, *layout);
}

void CoordinatesDialog::accept()
{
    if (!form_.goToCoordinates(real_->text().toStdString(), imaginary_->text().toStdString(),
                               zoom_->text().toStdString(), iterations_->text().toStdString())) {
        problem_->setText(form_.noticeText());
        problem_->show();
        return;
    }
    QDialog::accept();
}

} // namespace mandel
