#include "ZoomVideoDialog.h"

#include "DialogParts.h"
#include "ExportDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mandel {

namespace {

// The frame sizes offered: the common video sizes, all even.
constexpr PictureSize kVideoSizes[] = {{1280, 720}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

} // namespace

ZoomVideoDialog::ZoomVideoDialog(const QString& folder, const QString& stamp, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("zoomVideoDialog"));
    setWindowTitle(tr("Make zoom video"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("A dive from the full view into the centre of the view shown, in its colours and "
                                "with its iteration cap, as an H.264 video (MP4)."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* rows = new QFormLayout;
    size_ = new QComboBox(this);
    size_->setObjectName(QStringLiteral("size"));
    for (const PictureSize s : kVideoSizes)
        size_->addItem(QStringLiteral("%1 × %2").arg(s.width).arg(s.height));
    size_->setCurrentIndex(1);
    rows->addRow(tr("&Size:"), size_);

    fps_ = new QSpinBox(this);
    fps_->setObjectName(QStringLiteral("fps"));
    fps_->setRange(1, 240);
    fps_->setValue(60);
    fps_->setSuffix(tr(" frames a second"));
    rows->addRow(tr("&Frame rate:"), fps_);

    seconds_ = new QDoubleSpinBox(this);
    seconds_->setObjectName(QStringLiteral("seconds"));
    seconds_->setRange(0.5, 36000);
    seconds_->setDecimals(1);
    seconds_->setValue(20);
    seconds_->setSuffix(tr(" s"));
    rows->addRow(tr("&Length:"), seconds_);

    auto* file = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setObjectName(QStringLiteral("path"));
    path_->setText(QString::fromStdString(firstFreePath((folder + QStringLiteral("/") + stamp).toStdString() + ".mp4")));
    path_->setMinimumWidth(360);
    file->addWidget(path_);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    connect(browse, &QPushButton::clicked, this, &ZoomVideoDialog::browse);
    file->addWidget(browse);
    rows->addRow(tr("&File:"), file);
    layout->addLayout(rows);

    problem_ = addProblemLine(*this, *layout);
    addOkCancel(*this, *layout);
}

void ZoomVideoDialog::browse()
{
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Make zoom video"), path_->text(),
                                                        tr("MP4 videos (*.mp4)"));
    if (!chosen.isEmpty())
        path_->setText(chosen.endsWith(QStringLiteral(".mp4"), Qt::CaseInsensitive) ? chosen
                                                                                     : chosen + QStringLiteral(".mp4"));
}

void ZoomVideoDialog::accept()
{
    const QString path = path_->text().trimmed();
    const QFileInfo where(path);
    QString why;
    if (path.isEmpty())
        why = tr("Name the file the video goes to.");
    else if (!where.absoluteDir().exists())
        why = tr("The folder %1 does not exist.").arg(where.absolutePath());
    else if (where.isDir())
        why = tr("%1 is a folder; name a file in it.").arg(path);
    if (!why.isEmpty()) {
        problem_->setText(why);
        problem_->show();
        return;
    }
    chosenSize_ = kVideoSizes[std::max(0, size_->currentIndex())];
    chosenFps_ = fps_->value();
    chosenSeconds_ = seconds_->value();
    chosenPath_ = path.toStdString();
    QDialog::accept();
}

} // namespace mandel
