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

#include <functional>
#include <ostream>
#include <utility>
#include <string>

namespace mandel {
namespace {

using testing::TestWindow;

const char* const kStamp = "M20240309080507";  // the test window's fixed clock

// Runs the event loop until the export ends; whether it did in time.
bool waitForExport(const Form1& form)
{
    return QTest::qWaitFor([&] { return !form.isExporting(); }, 120000);
}

// Runs the event loop until the view's picture is drawn, deep ones included.
bool waitForPicture(const Form1& form)
{
    return QTest::qWaitFor(
        [&] { return !form.isPreparingDeep() && !form.isDrawing() && !form.statusText().isEmpty(); }, 120000);
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
    {"Poster", 1, "", "", 0, nullptr, "M20240309080507-3840x2160.png", ""},
    {"CustomBmp", -1, "640", "480", 1, nullptr, "M20240309080507-640x480.bmp", ""},
    {"Smallest", -1, "1", "1", 0, nullptr, "M20240309080507-1x1.png", ""},
    {"Largest", -1, "65535", " 65535 ", 0, nullptr, "M20240309080507-65535x65535.png", ""},
    {"ZeroWidth", -1, "0", "600", 0, nullptr, nullptr, "width"},
    {"ZeroHeight", -1, "600", "0", 0, nullptr, nullptr, "height"},
    {"AboveRange", -1, "65536", "10", 0, nullptr, nullptr, "width"},
    {"FarTooLarge", -1, "99999999999", "10", 0, nullptr, nullptr, "width"},
    {"Negative", -1, "-5", "10", 0, nullptr, nullptr, "width"},
    {"NotWhole", -1, "10", "12.5", 0, nullptr, nullptr, "height"},
    {"Exponent", -1, "10", "1e3", 0, nullptr, nullptr, "height"},
    {"BothSidesInOne", -1, "800x600", "600", 0, nullptr, nullptr, "width"},
    {"TypedName", 0, "", "", 0, "poster.png", "poster.png", ""},
    {"TypedNameFollowsTheFormat", 0, "", "", 1, "poster.png", "poster.bmp", ""},
    {"TypedNameOfTheOtherFormat", 0, "", "", 0, "poster.bmp", nullptr, "format"},
    {"UnknownExtension", 0, "", "", 0, "poster.jpg", nullptr, ".png or .bmp"},
    {"NoExtension", 0, "", "", 0, "poster", nullptr, ".png or .bmp"},
    {"AFolder", 0, "", "", 0, ".", nullptr, "folder"},
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
    if (!row.typedPath) {
        EXPECT_TRUE(QString::fromLatin1(row.wantFile).contains(size)) << size.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, ExportDialogs, ::testing::ValuesIn(kDialog),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ExportDialog, ProposesOnlyNamesNotTaken)
{
    testing::qtApp();
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const struct {
        const char* take;     // made before the dialog opens
        const char* propose;  // then proposed
    } steps[] = {
        {nullptr, "M20240309080507-1920x1080.png"},
        {"M20240309080507-1920x1080.png", "M20240309080507-1920x1080-2.png"},
        {"M20240309080507-1920x1080-2.png", "M20240309080507-1920x1080-3.png"},
        {"M20240309080507-1920x1080-4.png", "M20240309080507-1920x1080-3.png"},
    };
    for (const auto& step : steps) {
        if (step.take) {
            ASSERT_TRUE(QFile(folder.filePath(QString::fromLatin1(step.take))).open(QIODevice::WriteOnly));
        }
        ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
        EXPECT_EQ(dialog.pathEdit()->text(), folder.filePath(QString::fromLatin1(step.propose)));
    }
    // The other format's name is free.
    ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
    dialog.format()->setCurrentIndex(1);
    EXPECT_EQ(dialog.pathEdit()->text(), folder.filePath(QStringLiteral("M20240309080507-1920x1080.bmp")));
}

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
    {"LegacyPng", kLegacyView, ImageFormat::Png, 64, 48},
    {"LegacyBmp", kLegacyView, ImageFormat::Bmp, 40, 30},
    {"DeepPng", kDeepView, ImageFormat::Png, 48, 64},
    {"LegacyAsTheWindowShowsIt", kLegacyView, ImageFormat::Png, 596, 596},
    {"DeepAsTheWindowShowsIt", kDeepView, ImageFormat::Png, 596, 596},
};

class WindowExports : public ::testing::TestWithParam<ExportRow> {};

TEST_P(WindowExports, WriteTheViewShownAtTheSizeChosen)
{
    const ExportRow& row = GetParam();
    TestWindow w(11);
    w->OnLoad();
    ASSERT_TRUE(w->goToLocation(row.view));
    ASSERT_TRUE(waitForPicture(*w));
    const Location shown = *w->location();
    const QString path =
        w.dir.filePath(row.format == ImageFormat::Png ? QStringLiteral("out.png") : QStringLiteral("out.bmp"));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {row.width, row.height}, row.format));
    EXPECT_TRUE(w->isExporting());
    ASSERT_TRUE(waitForExport(*w));

    EXPECT_TRUE(w->noticeText().contains(path)) << w->noticeText().toStdString();
    EXPECT_FALSE(noticeIsProblem(*w)) << w->noticeText().toStdString();
    EXPECT_EQ(w->exportProgress(), nullptr);
    EXPECT_EQ(*w->location(), shown) << "exporting leaves the view as it was";
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
        EXPECT_EQ(picture, w->pictureImage().convertToFormat(QImage::Format_RGB32));
    }
}

INSTANTIATE_TEST_SUITE_P(Form1Export, WindowExports, ::testing::ValuesIn(kExports),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Export, NeverReplacesAFile)
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
}

TEST(Form1Export, AFailureNamesThePathAndReasonInRed)
{
    TestWindow w(11);
    w->OnLoad();
    const QString path = w.dir.filePath(QStringLiteral("no-such-folder/out.png"));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {20, 10}, ImageFormat::Png));
    ASSERT_TRUE(waitForExport(*w));
    const QString notice = w->noticeText();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not export"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(path)) << notice.toStdString();
    EXPECT_GT(notice.size(), QStringLiteral("Could not export the picture to : ").size() + path.size())
        << "the reason is missing: " << notice.toStdString();
    EXPECT_TRUE(noticeIsProblem(*w));
    EXPECT_FALSE(w->isEnding());
}

TEST(Form1Export, WaitsForTheCapOfADeepViewToBeChosen)
{
    TestWindow w(11);
    w->OnLoad();
    w->OnDeepZoom();  // the cap is chosen from the picture
    const QString path = w.dir.filePath(QStringLiteral("deep.png"));
    EXPECT_FALSE(w->exportPicture(path.toStdString(), {30, 20}, ImageFormat::Png));
    EXPECT_TRUE(noticeIsProblem(*w)) << w->noticeText().toStdString();
    ASSERT_TRUE(waitForPicture(*w));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {30, 20}, ImageFormat::Png)) << w->noticeText().toStdString();
    ASSERT_TRUE(waitForExport(*w));
    const Result<Location> stored = readPngLocation(path.toStdString());
    ASSERT_TRUE(stored && stored->deep) << w->noticeText().toStdString();
    EXPECT_EQ(stored->deep->iterations, w->deepView()->iterations);
}

struct StopRow {
    const char* name;
    std::function<void(TestWindow&)> stop;  // once writing is under way
    const char* notice;                      // a part of the notice after; null: the window is gone
};

void PrintTo(const StopRow& row, std::ostream* os) { *os << row.name; }

const StopRow kStops[] = {
    {"CancelButton",
     [](TestWindow& w) {
         QProgressDialog* progress = w->exportProgress();
         ASSERT_NE(progress, nullptr);
         auto* cancel = progress->findChild<QPushButton*>();
         ASSERT_NE(cancel, nullptr);
         QTest::mouseClick(cancel, Qt::LeftButton);
     },
     "cancelled"},
    {"ClosingTheWindow",
     [](TestWindow& w) {
         w->close();
         EXPECT_TRUE(w->isEnding());
         w.form.reset();  // waits for the writer
     },
     nullptr},
};

class StoppedExports : public ::testing::TestWithParam<StopRow> {};

TEST_P(StoppedExports, LeaveNoFile)
{
    const StopRow& row = GetParam();
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
    row.stop(w);
    if (row.notice) {
        ASSERT_TRUE(waitForExport(*w));
        EXPECT_TRUE(w->noticeText().contains(QString::fromLatin1(row.notice))) << w->noticeText().toStdString();
        EXPECT_FALSE(noticeIsProblem(*w));
    }
    testing::runPendingEvents();
    EXPECT_TRUE(filesIn(folder).isEmpty()) << filesIn(folder).join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Form1Export, StoppedExports, ::testing::ValuesIn(kStops),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Export, ExploringGoesOnAndTheExportKeepsItsView)
{
    TestWindow w(11);
    w->OnLoad();
    const Location before = *w->location();
    const QString path = w.dir.filePath(QStringLiteral("before.png"));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {1500, 1500}, ImageFormat::Png));
    QString drawn;
    QObject::connect(w.form.get(), &Form1::statusPrinted, [&](const QString& line) { drawn = line; });
    w->OnPictureMouseDown(Qt::LeftButton, {}, 100.0f, 100.0f);
    EXPECT_FALSE(drawn.isEmpty()) << "the zoom was drawn";
    EXPECT_NE(*w->location(), before);
    ASSERT_TRUE(waitForExport(*w));
    const Result<Location> stored = readPngLocation(path.toStdString());
    ASSERT_TRUE(stored) << stored.error();
    Location want = before;
    want.size = PictureSize{1500, 1500};
    EXPECT_EQ(*stored, want) << "the view when the export began";
}

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
    const char* const stored[] = {
        "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=100,100/200.5,310",
        "mandel-location/1 mode=7 fn=1.5,2.5,0.5 moduli=170,230,300 centre=-0.75,0.1 zoom=3 iterations=2000",
    };
    for (const char* text : stored) {
        SCOPED_TRACE(text);
        const Result<Location> location = parseLocation(text);
        ASSERT_TRUE(location) << location.error();
        TestWindow w(11);
        w->OnLoad();
        const Location start = *w->location();
        const QString path = w.dir.filePath(QStringLiteral("found.png"));
        writePoster(path, *location);

        ASSERT_TRUE(w->openPicture(path.toStdString())) << w->noticeText().toStdString();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->location(), *location) << "the view, not the poster's size";
        w->OnUndo();
        ASSERT_TRUE(waitForPicture(*w));
        EXPECT_EQ(*w->location(), start);
    }
}

enum class Damage { None, LocationText, ChunkByte };

struct RefusedRow {
    const char* name;
    const char* contents;  // a file of these bytes; null: a PNG without a location; "": no file
    Damage damage;         // or else a PNG that holds a location, damaged so
    const char* reason;    // a part of the reason given
};

void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }

const RefusedRow kRefused[] = {
    {"NotAPng", "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=none", Damage::None,
     "not a PNG"},
    {"PngWithoutLocation", nullptr, Damage::None, "holds no location"},
    {"LocationMalformed", "", Damage::LocationText, "location is damaged: location: mode"},
    {"LocationChunkCorrupted", "", Damage::ChunkByte, "PNG is damaged"},
};

class RefusedPictures : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedPictures, ChangeNothingAndSayWhy)
{
    const RefusedRow& row = GetParam();
    TestWindow w(11);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 300.0f, 200.0f);
    const QString path = w.dir.filePath(QStringLiteral("picture.png"));
    if (row.damage == Damage::LocationText) {
        QImage plain(8, 8, QImage::Format_RGB32);
        plain.fill(Qt::blue);
        plain.setText(QString::fromLatin1(kPngLocationKeyword.data(), kPngLocationKeyword.size()),
                      QStringLiteral("mandel-location/1 mode=12 fn=1,2,3 moduli=150,150,150 clicks=none"));
        ASSERT_TRUE(plain.save(path, "PNG"));
    } else if (row.damage == Damage::ChunkByte) {
        writePoster(path, *w->location());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const qsizetype at = bytes.indexOf("mode=");
        ASSERT_GT(at, 0);
        bytes[at + 5] = '9' == bytes[at + 5] ? '8' : '9';  // a valid mode, but the checksum no longer agrees
        ASSERT_TRUE(f.seek(0));
        ASSERT_EQ(f.write(bytes), bytes.size());
    } else if (!row.contents) {
        QImage plain(8, 8, QImage::Format_RGB32);
        plain.fill(Qt::red);
        ASSERT_TRUE(plain.save(path, "PNG"));
    } else if (*row.contents) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(row.contents);
    }
    const Location shown = *w->location();
    const QImage picture = w->pictureImage();
    const bool couldUndo = w->history().canUndo();

    EXPECT_FALSE(w->openPicture(path.toStdString()));
    EXPECT_TRUE(w->noticeText().startsWith(path)) << w->noticeText().toStdString();
    EXPECT_TRUE(w->noticeText().contains(QString::fromLatin1(row.reason))) << w->noticeText().toStdString();
    EXPECT_TRUE(noticeIsProblem(*w));
    EXPECT_EQ(*w->location(), shown);
    EXPECT_EQ(w->pictureImage(), picture);
    EXPECT_EQ(w->history().canUndo(), couldUndo);
    EXPECT_FALSE(w->history().canRedo());
}

INSTANTIATE_TEST_SUITE_P(Form1OpenPicture, RefusedPictures, ::testing::ValuesIn(kRefused),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace mandel
