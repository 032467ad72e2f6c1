// File > Export picture and File > Open picture in the window.
#include "WindowTestSupport.h"

#include "ExportDialog.h"
#include "LocationFile.h"
#include "PictureFile.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

#include <ostream>
#include <sys/stat.h>
#include <string>
#include <utility>

namespace mandel {
namespace {

using testing::TestWindow;
using testing::clickPicture;
using testing::waitForPicture;

bool waitForExport(const Form1& form)
{
    return QTest::qWaitFor([&] { return !form.isExporting(); }, 120000);
}

bool noticeIsProblem(const Form1& form)
{
    return form.findChild<QLabel*>(QStringLiteral("notice"))->styleSheet().contains(QStringLiteral("color"));
}

struct DialogRow {
    const char* name;
    const char* width;     // of a custom size; null: the first preset
    const char* height;
    const char* wantFile;  // the file chosen (in the folder); null: refused
    const char* problem;   // a part of the reason for a refusal
};

void PrintTo(const DialogRow& row, std::ostream* os) { *os << row.name; }

const DialogRow kDialog[] = {
    {"FirstPreset", nullptr, nullptr, "M20240309080507-1920x1080.png", ""},
    {"Largest", "65535", " 65535 ", "M20240309080507-65535x65535.png", ""},
    {"ZeroWidth", "0", "600", nullptr, "width"},
    {"AboveRange", "65536", "10", nullptr, "width"},
    {"Negative", "-5", "10", nullptr, "width"},
    {"NotWhole", "10", "12.5", nullptr, "height"},
};

class ExportDialogs : public ::testing::TestWithParam<DialogRow> {};

// The sides can be typed straight away: the size becomes a custom one; and
// a custom size handed back in is proposed again.
TEST(ExportDialog, TypingASideMakesACustomSizeThatIsProposedAgain)
{
    testing::qtApp();
    QTemporaryDir dir;
    ExportDialog dialog(dir.path(), QStringLiteral("M20240309080507"));
    EXPECT_EQ(dialog.preset()->currentIndex(), 0);
    dialog.widthEdit()->selectAll();
    QTest::keyClicks(dialog.widthEdit(), QStringLiteral("1234"));
    EXPECT_EQ(dialog.preset()->currentIndex(), dialog.preset()->count() - 1);
    EXPECT_EQ(dialog.widthEdit()->text(), QStringLiteral("1234"));
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem()->text().toStdString();
    EXPECT_TRUE(dialog.customChosen());
    EXPECT_EQ(dialog.chosenSize(), (PictureSize{1234, 1080}));

    ExportDialog again(dir.path(), QStringLiteral("M20240309080508"), nullptr, dialog.chosenSize());
    EXPECT_EQ(again.preset()->currentIndex(), again.preset()->count() - 1);
    EXPECT_EQ(again.widthEdit()->text(), QStringLiteral("1234"));
    EXPECT_EQ(again.heightEdit()->text(), QStringLiteral("1080"));
    EXPECT_TRUE(again.pathEdit()->text().endsWith(QStringLiteral("-1234x1080.png"))) << again.pathEdit()->text().toStdString();
}

TEST_P(ExportDialogs, ExportOnlyWhatCanBeWritten)
{
    const DialogRow& row = GetParam();
    testing::qtApp();
    QTemporaryDir dir;
    ExportDialog dialog(dir.path(), QStringLiteral("M20240309080507"));  // the test window's clock
    if (row.width) {
        dialog.preset()->setCurrentIndex(dialog.preset()->count() - 1);  // Custom
        for (auto [edit, text] : {std::pair{dialog.widthEdit(), row.width}, std::pair{dialog.heightEdit(), row.height}}) {
            edit->clear();
            QTest::keyClicks(edit, QString::fromLatin1(text));
        }
    }
    dialog.accept();
    if (!row.wantFile) {
        EXPECT_NE(dialog.result(), QDialog::Accepted) << dialog.chosenPath();
        EXPECT_TRUE(dialog.problem()->text().contains(QString::fromLatin1(row.problem)))
            << dialog.problem()->text().toStdString();
        return;
    }
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem()->text().toStdString();
    EXPECT_EQ(dialog.chosenPath(), QDir(dir.path()).filePath(QString::fromLatin1(row.wantFile)).toStdString());
    const QString size = QStringLiteral("-%1x%2.").arg(dialog.chosenSize().width).arg(dialog.chosenSize().height);
    EXPECT_TRUE(QString::fromLatin1(row.wantFile).contains(size)) << size.toStdString();
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, ExportDialogs, ::testing::ValuesIn(kDialog),
                         [](const auto& row) { return std::string(row.param.name); });

const char* const kLegacyView =
    "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25";
const char* const kDeepView = "mandel-location/1 mode=5 fn=1.5,2.5,0.5 moduli=170,230,300 "
                              "centre=-0.7436438870371587,0.1318259042053119 zoom=4 iterations=600";

struct ExportRow {
    const char* name;
    const char* view;
    ImageFormat format;
    int width, height;  // at 596 x 596, the window's own picture
};

void PrintTo(const ExportRow& row, std::ostream* os) { *os << row.name; }

const ExportRow kExports[] = {
    {"LegacyAsTheWindowShowsIt", kLegacyView, ImageFormat::Png, 596, 596},
    {"DeepAsTheWindowShowsIt", kDeepView, ImageFormat::Png, 596, 596},
    {"LegacyBmp", kLegacyView, ImageFormat::Bmp, 40, 30},
    {"DeepPng", kDeepView, ImageFormat::Png, 48, 64},
};

class WindowExports : public ::testing::TestWithParam<ExportRow> {};

// Exploring goes on meanwhile (and may clear the export's notice); the export
// keeps the view it began with.
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
    w->OnBack();
    EXPECT_NE(*w->location(), shown);
    ASSERT_TRUE(waitForExport(*w));

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
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier picture") == 15);
    earlier.close();
    for (const char* expected : {"keep-2.png", "keep-3.png"}) {
        ASSERT_TRUE(w->exportPicture(path.toStdString(), {20, 10}, ImageFormat::Png));
        ASSERT_TRUE(waitForExport(*w));
        const QString went = w.dir.filePath(QString::fromLatin1(expected));
        EXPECT_TRUE(w->noticeText().endsWith(went)) << w->noticeText().toStdString();
        EXPECT_EQ(QImage(went).size(), QSize(20, 10));
    }
    EXPECT_EQ(earlier.size(), 15);

    const QString nowhere = w.dir.filePath(QStringLiteral("no-such-folder/out.png"));
    ASSERT_TRUE(w->exportPicture(nowhere.toStdString(), {20, 10}, ImageFormat::Png));
    ASSERT_TRUE(waitForExport(*w));
    const QString notice = w->noticeText();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not export")) && notice.contains(nowhere + QStringLiteral(": "))
                && !notice.endsWith(QStringLiteral(": ")))
        << "the path or reason is missing: " << notice.toStdString();
    EXPECT_TRUE(noticeIsProblem(*w));
}

// While the window draws, an export waits between its bands: the picture
// shown gets the cores.
TEST(Form1Export, WaitsBetweenBandsWhileThePictureIsDrawn)
{
    TestWindow w(12);
    w->OnLoad();
    const QString path = w.dir.filePath(QStringLiteral("held.png"));
    w->holdExports(true);
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {2000, 2000}, ImageFormat::Png));
    QProgressDialog* progress = w->exportProgress();
    ASSERT_TRUE(progress);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() > 0; }, 120000));
    const int held = progress->value();
    QTest::qWait(300);
    EXPECT_TRUE(w->isExporting());
    EXPECT_EQ(progress->value(), held);
    EXPECT_LT(held, 50);
    // The window's own drawing holds and lets go the same way.
    w->holdExports(false);
    clickPicture(*w, 100, 100);
    ASSERT_TRUE(waitForExport(*w));
    EXPECT_TRUE(QFileInfo::exists(path)) << w->noticeText().toStdString();
}

// File > Make zoom video goes the way of an export: in the background, the
// notice saying where the video went; the full view has nothing to dive into.
TEST(Form1Export, AZoomVideoDivesFromTheFullViewToTheViewShown)
{
    TestWindow w(11);
    w->OnLoad();
    ASSERT_TRUE(waitForPicture(*w));
    const QString path = w.dir.filePath(QStringLiteral("dive.mp4"));
    EXPECT_FALSE(w->makeZoomVideo(path.toStdString(), {64, 36}, 8, 1));
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("zoom in first"))) << w->noticeText().toStdString();
    ASSERT_TRUE(w->goToLocation(kDeepView));
    ASSERT_TRUE(waitForPicture(*w));
    ASSERT_TRUE(w->makeZoomVideo(path.toStdString(), {64, 36}, 8, 1));
    ASSERT_TRUE(w->exportProgress());
    ASSERT_TRUE(waitForExport(*w));
    EXPECT_EQ(w->noticeText(), QStringLiteral("Made the zoom video ") + path);
    EXPECT_GT(QFileInfo(path).size(), 0);
}

class StoppedExports : public ::testing::TestWithParam<bool> {};

// Cancelled, or the window closed, while writing: no file, not even a temporary.
TEST_P(StoppedExports, LeaveNoFile)
{
    TestWindow w(11);
    w->OnLoad();
    const QString folder = w.dir.filePath(QStringLiteral("posters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(w->exportPicture(QDir(folder).filePath(QStringLiteral("big.png")).toStdString(), {8192, 8192},
                                 ImageFormat::Png));
    QProgressDialog* progress = w->exportProgress();
    ASSERT_TRUE(progress && progress->isVisible());
    // Deleted when the export ends, so only looked at while it runs.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isExporting() || progress->value() > 0; }, 120000));
    ASSERT_TRUE(w->isExporting()) << "the poster was written before it could be stopped";
    if (GetParam()) {
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
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Form1Export, StoppedExports, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "CancelButton" : "ClosingTheWindow"; });

// A picture exported from a view opens at that view, as an undoable step;
// a file that is no PNG, holds no location, or is hostile, is refused and
// changes nothing. It is read off the GUI thread, and anything but a
// regular file (a FIFO nobody writes to) is refused at once, without
// waiting for it: the window answers meanwhile.
TEST(Form1OpenPicture, GoesToTheStoredViewAndUndoComesBackAndRefusesOtherFiles)
{
    TestWindow w(11);
    w->OnLoad();
    const Location start = *w->location();
    for (const char* text : {kLegacyView, kDeepView}) {
        PictureRequest request;
        request.location = *parseLocation(text);
        request.location.size = PictureSize{32, 24};
        const QString path = w.dir.filePath(QString::fromLatin1(text == kDeepView ? "deep.png" : "legacy.png"));
        ASSERT_TRUE(writePictureFile(path.toStdString(), request));
        int opened = 0;
        const auto connection = QObject::connect(w.form.get(), &Form1::pictureOpened, [&](bool went) { opened += went; });
        ASSERT_TRUE(w->openPicture(path.toStdString())) << w->noticeText().toStdString();
        ASSERT_TRUE(waitForPicture(*w));
        QObject::disconnect(connection);
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(*w->location(), *parseLocation(text)) << "the view, not the poster's size";
        w->OnUndo();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->location(), start);
    }

    const QImage picture = w->pictureImage();
    const std::size_t undoSteps = w->history().undoSteps(), redoSteps = w->history().redoSteps();
    auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile file(w.dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };
    const QString notPng = put(QStringLiteral("location.png"), kLegacyView);
    const QString plain = w.dir.filePath(QStringLiteral("plain.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(plain, "PNG"));
    // A location chunk that declares 1 GB, after a PNG's header.
    QFile png(plain);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray declares = png.read(33) + QByteArray::fromHex("40000000") + "iTXt" + "mandel-location" + '\0';
    const QString bomb = put(QStringLiteral("bomb.png"), declares);
    const QString fifo = w.dir.filePath(QStringLiteral("nobody-writes.png"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const struct {
        QString path;
        const char* reason;
        bool atOnce;  // refused before any reading
    } refusals[] = {
        {notPng, "not a PNG", false},
        {plain, "holds no location", false},
        {bomb, "more than any location takes", false},
        {fifo, "not a regular file", true},
        {w.dir.filePath(QStringLiteral("missing.png")), "No such file", true},
    };
    for (const auto& r : refusals) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(w->openPicture(r.path.toStdString()), !r.atOnce) << r.reason;
        EXPECT_LT(clock.elapsed(), 2000) << r.reason << ": the window never waits for a file";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isOpeningPicture(); }, 10000)) << r.reason;
        EXPECT_TRUE(w->noticeText().startsWith(r.path) && w->noticeText().contains(QString::fromLatin1(r.reason)))
            << w->noticeText().toStdString();
        EXPECT_TRUE(noticeIsProblem(*w));
        EXPECT_EQ(*w->location(), start);
        EXPECT_EQ(w->pictureImage(), picture);
        EXPECT_EQ(w->history().undoSteps(), undoSteps);
        EXPECT_EQ(w->history().redoSteps(), redoSteps);
    }

    // A picture still being read gives way to a command given meanwhile.
    ASSERT_TRUE(w->openPicture(w.dir.filePath(QStringLiteral("legacy.png")).toStdString()));
    w->OnPictureMouseDown(Qt::LeftButton, {}, 100, 100);
    ASSERT_TRUE(waitForPicture(*w));
    testing::runPendingEvents();
    EXPECT_EQ(w->location()->clicks.size(), 1u) << "the zoom, not the picture read before it";
}

} // namespace
} // namespace mandel
