// File > Export picture and File > Open picture in the window.
#include "WindowTestSupport.h"

#include "ExportDialog.h"
#include "LocationFile.h"
#include "PictureFile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <string>

namespace mandel {
namespace {

using testing::TestWindow;
using testing::waitForPicture;

const char* const kStamp = "M20240309080507";  // the test window's fixed clock

// Runs the event loop until the export ends; whether it did in time.
bool waitForExport(const Form1& form)
{
    return QTest::qWaitFor([&] { return !form.isExporting(); }, 120000);
}

// Every name in `folder`, hidden ones (temporaries) included.
QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

bool noticeIsProblem(const Form1& form)
{
    return form.findChild<QLabel*>(QStringLiteral("notice"))->styleSheet().contains(QStringLiteral("color"));
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---- The dialog: sizes, formats and names ----

struct DialogRow {
    const char* name;
    int preset;             // -1: Custom, with the sides below
    const char* width;
    const char* height;
    int format;             // 0 PNG, 1 BMP
    const char* typedPath;  // typed over the proposal (in the folder), or null
    const char* wantFile;   // the file chosen (in the folder); null: refused
    const char* problem;    // a part of the reason for a refusal
};

void PrintTo(const DialogRow& row, std::ostream* os) { *os << row.name; }

const DialogRow kDialog[] = {
    {"FirstPreset", 0, "", "", 0, nullptr, "M20240309080507-1920x1080.png", ""},
    {"CustomBmp", -1, "640", "480", 1, nullptr, "M20240309080507-640x480.bmp", ""},
    {"Largest", -1, "65535", " 65535 ", 0, nullptr, "M20240309080507-65535x65535.png", ""},
    {"ZeroWidth", -1, "0", "600", 0, nullptr, nullptr, "width"},
    {"AboveRange", -1, "65536", "10", 0, nullptr, nullptr, "width"},
    {"Negative", -1, "-5", "10", 0, nullptr, nullptr, "width"},
    {"NotWhole", -1, "10", "12.5", 0, nullptr, nullptr, "height"},
    {"TypedNameFollowsTheFormat", 0, "", "", 1, "poster.png", "poster.bmp", ""},
    {"UnknownExtension", 0, "", "", 0, "poster.jpg", nullptr, ".png or .bmp"},
};

class ExportDialogs : public ::testing::TestWithParam<DialogRow> {};

TEST_P(ExportDialogs, ExportOnlyWhatCanBeWritten)
{
    const DialogRow& row = GetParam();
    testing::qtApp();
    QTemporaryDir dir;
    const QDir folder(dir.path());
    ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
    if (row.preset >= 0) {
        dialog.preset()->setCurrentIndex(row.preset);
    } else {
        dialog.preset()->setCurrentIndex(dialog.preset()->count() - 1);
        for (auto [edit, text] : {std::pair{dialog.widthEdit(), row.width}, std::pair{dialog.heightEdit(), row.height}}) {
            edit->clear();
            QTest::keyClicks(edit, QString::fromLatin1(text));
        }
    }
    if (row.typedPath) {
        dialog.pathEdit()->clear();
        QTest::keyClicks(dialog.pathEdit(), folder.filePath(QString::fromLatin1(row.typedPath)));
    }
    dialog.format()->setCurrentIndex(row.format);
    dialog.accept();
    if (!row.wantFile) {
        EXPECT_NE(dialog.result(), QDialog::Accepted) << dialog.chosenPath();
        EXPECT_FALSE(dialog.problem()->isHidden());
        EXPECT_TRUE(dialog.problem()->text().contains(QString::fromLatin1(row.problem)))
            << dialog.problem()->text().toStdString();
        return;
    }
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem()->text().toStdString();
    EXPECT_EQ(dialog.chosenPath(), folder.filePath(QString::fromLatin1(row.wantFile)).toStdString());
    EXPECT_EQ(dialog.chosenFormat(), row.format == 1 ? ImageFormat::Bmp : ImageFormat::Png);
    const QString size = QStringLiteral("-%1x%2.").arg(dialog.chosenSize().width).arg(dialog.chosenSize().height);
    EXPECT_TRUE(row.typedPath || QString::fromLatin1(row.wantFile).contains(size)) << size.toStdString();
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, ExportDialogs, ::testing::ValuesIn(kDialog),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Exporting from the window ----

const char* const kLegacyView =
    "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25";
const char* const kDeepView = "mandel-location/1 mode=5 fn=1.5,2.5,0.5 moduli=170,230,300 "
                              "centre=-0.7436438870371587,0.1318259042053119 zoom=4 iterations=600";

struct ExportRow {
    const char* name;
    const char* view;
    ImageFormat format;
    int width, height;  // at 596 x 596, the window's own picture (modes 7 and 8 aside)
};

void PrintTo(const ExportRow& row, std::ostream* os) { *os << row.name; }

const ExportRow kExports[] = {
    {"LegacyAsTheWindowShowsIt", kLegacyView, ImageFormat::Png, 596, 596},
    {"DeepAsTheWindowShowsIt", kDeepView, ImageFormat::Png, 596, 596},
    {"LegacyBmp", kLegacyView, ImageFormat::Bmp, 40, 30},
    {"DeepPng", kDeepView, ImageFormat::Png, 48, 64},
};

class WindowExports : public ::testing::TestWithParam<ExportRow> {};

// Exploring goes on meanwhile; the export keeps the view it began with.
TEST_P(WindowExports, WriteTheViewShownAtTheSizeChosen)
{
    const ExportRow& row = GetParam();
    TestWindow w(11);
    w->OnLoad();
    ASSERT_TRUE(w->goToLocation(row.view));
    ASSERT_TRUE(waitForPicture(*w));
    const Location shown = *w->location();
    const QImage shownPicture = w->pictureImage().convertToFormat(QImage::Format_RGB32);
    const QString path = w.dir.filePath(QString::fromLatin1(row.format == ImageFormat::Png ? "out.png" : "out.bmp"));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {row.width, row.height}, row.format));
    w->OnPictureMouseDown(Qt::LeftButton, {}, 100.0f, 100.0f);
    EXPECT_NE(*w->location(), shown);
    ASSERT_TRUE(waitForExport(*w));

    EXPECT_TRUE(w->noticeText().contains(path)) << w->noticeText().toStdString();
    EXPECT_FALSE(noticeIsProblem(*w)) << w->noticeText().toStdString();
    const QImage picture = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(row.width, row.height));
    if (row.format == ImageFormat::Png) {
        const Result<Location> stored = readPngLocation(path.toStdString());
        ASSERT_TRUE(stored) << stored.error();
        Location want = shown;
        want.size = PictureSize{row.width, row.height};
        EXPECT_EQ(*stored, want) << formatLocation(*stored) << "\nwanted " << formatLocation(want);
    }
    if (row.width == kDrawableSize && row.height == kDrawableSize) {
        EXPECT_EQ(picture, shownPicture);
    }
}

INSTANTIATE_TEST_SUITE_P(Form1Export, WindowExports, ::testing::ValuesIn(kExports),
                         [](const auto& row) { return std::string(row.param.name); });

// A name taken gets -2, -3; a failure names the path and the reason in red.
TEST(Form1Export, NeverReplacesAFileAndAFailureNamesThePathAndReason)
{
    TestWindow w(11);
    w->OnLoad();
    const QString path = w.dir.filePath(QStringLiteral("keep.png"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier picture");
    }
    for (const char* expected : {"keep-2.png", "keep-3.png"}) {
        ASSERT_TRUE(w->exportPicture(path.toStdString(), {20, 10}, ImageFormat::Png));
        ASSERT_TRUE(waitForExport(*w));
        const QString went = w.dir.filePath(QString::fromLatin1(expected));
        EXPECT_TRUE(w->noticeText().endsWith(went)) << w->noticeText().toStdString();
        EXPECT_EQ(QImage(went).size(), QSize(20, 10));
    }
    EXPECT_EQ(contentsOf(path), QByteArray("earlier picture"));

    const QString nowhere = w.dir.filePath(QStringLiteral("no-such-folder/out.png"));
    ASSERT_TRUE(w->exportPicture(nowhere.toStdString(), {20, 10}, ImageFormat::Png));
    ASSERT_TRUE(waitForExport(*w));
    const QString notice = w->noticeText();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not export"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(nowhere + QStringLiteral(": ")) && !notice.endsWith(QStringLiteral(": ")))
        << "the path or reason is missing: " << notice.toStdString();
    EXPECT_TRUE(noticeIsProblem(*w));
}

class StoppedExports : public ::testing::TestWithParam<bool> {};

// Cancelled, or the window closed, while writing: no file, not even a temporary.
TEST_P(StoppedExports, LeaveNoFile)
{
    const bool cancel = GetParam();
    TestWindow w(11);
    w->OnLoad();
    const QString folder = w.dir.filePath(QStringLiteral("posters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(w->exportPicture(QDir(folder).filePath(QStringLiteral("big.png")).toStdString(), {8192, 8192},
                                 ImageFormat::Png));
    QProgressDialog* progress = w->exportProgress();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    // Deleted when the export ends, so only looked at while it runs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isExporting() || progress->value() > 0; }, 120000));
    ASSERT_TRUE(w->isExporting()) << "the poster was written before it could be stopped";
    if (cancel) {
        auto* button = progress->findChild<QPushButton*>();
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(waitForExport(*w));
        EXPECT_TRUE(w->noticeText().contains(QStringLiteral("cancelled"))) << w->noticeText().toStdString();
    } else {
        w->close();
        w.form.reset();  // waits for the writer
    }
    testing::runPendingEvents();
    EXPECT_TRUE(filesIn(folder).isEmpty()) << filesIn(folder).join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Form1Export, StoppedExports, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "CancelButton" : "ClosingTheWindow"; });

// ---- Opening a picture ----

// Writes the view of `location` at 32 x 24 to `path`.
void writePoster(const QString& path, Location location)
{
    location.size = PictureSize{32, 24};
    PictureRequest request;
    request.location = std::move(location);
    const Result<std::string> written = writePictureFile(path.toStdString(), request);
    ASSERT_TRUE(written) << written.error();
}

TEST(Form1OpenPicture, GoesToTheStoredViewAndUndoComesBack)
{
    for (const char* text : {kLegacyView, kDeepView}) {
        const Location location = *parseLocation(text);
        TestWindow w(11);
        w->OnLoad();
        const Location start = *w->location();
        const QString path = w.dir.filePath(QStringLiteral("found.png"));
        writePoster(path, location);

        ASSERT_TRUE(w->openPicture(path.toStdString())) << w->noticeText().toStdString();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->location(), location) << "the view, not the poster's size";
        w->OnUndo();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->location(), start);
    }
}

struct RefusedRow {
    const char* name;
    const char* location;  // a PNG holding this text as its location; null: a file that is no PNG
    const char* reason;    // a part of the reason given
};

void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }

const RefusedRow kRefused[] = {
    {"NotAPng", nullptr, "not a PNG"},
    {"PngWithoutLocation", "", "holds no location"},
    {"LocationMalformed", "mandel-location/1 mode=12 fn=1,2,3 moduli=150,150,150 clicks=none",
     "location is damaged: location: mode"},
};

class RefusedPictures : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedPictures, ChangeNothingAndSayWhy)
{
    const RefusedRow& row = GetParam();
    TestWindow w(11);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300.0f, 200.0f);
    const QString path = w.dir.filePath(QStringLiteral("picture.png"));
    if (row.location) {
        QImage plain(8, 8, QImage::Format_RGB32);
        plain.fill(Qt::blue);
        if (*row.location)
            plain.setText(QString::fromLatin1(kPngLocationKeyword.data(), kPngLocationKeyword.size()),
                          QString::fromLatin1(row.location));
        ASSERT_TRUE(plain.save(path, "PNG"));
    } else {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kLegacyView);
    }
    const Location shown = *w->location();
    const QImage picture = w->pictureImage();

    EXPECT_FALSE(w->openPicture(path.toStdString()));
    EXPECT_TRUE(w->noticeText().startsWith(path)) << w->noticeText().toStdString();
    EXPECT_TRUE(w->noticeText().contains(QString::fromLatin1(row.reason))) << w->noticeText().toStdString();
    EXPECT_TRUE(noticeIsProblem(*w));
    EXPECT_EQ(*w->location(), shown);
    EXPECT_EQ(w->pictureImage(), picture);
    EXPECT_EQ(w->history().undoSteps(), 1u);
    EXPECT_FALSE(w->history().canRedo());
}

INSTANTIATE_TEST_SUITE_P(Form1OpenPicture, RefusedPictures, ::testing::ValuesIn(kRefused),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
