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
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
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

// ---- The size typed in the dialog ----

struct SizeRow {
    const char* name;
    const char* width;
    const char* height;
    int wantWidth, wantHeight;  // 0: refused
    const char* side;           // the side a refusal names
};

void PrintTo(const SizeRow& row, std::ostream* os) { *os << row.name; }

const SizeRow kSizes[] = {
    {"Smallest", "1", "1", 1, 1, ""},
    {"Largest", "65535", "65535", 65535, 65535, ""},
    {"SpacesAround", " 800 ", "600 ", 800, 600, ""},
    {"LeadingZeros", "0064", "048", 64, 48, ""},
    {"ZeroWidth", "0", "600", 0, 0, "width"},
    {"ZeroHeight", "600", "0", 0, 0, "height"},
    {"WidthAboveRange", "65536", "10", 0, 0, "width"},
    {"HeightAboveRange", "10", "70000", 0, 0, "height"},
    {"FarTooLarge", "99999999999", "10", 0, 0, "width"},
    {"Negative", "-5", "10", 0, 0, "width"},
    {"NotWhole", "12.5", "10", 0, 0, "width"},
    {"Exponent", "10", "1e3", 0, 0, "height"},
    {"EmptyWidth", "", "10", 0, 0, "width"},
    {"BothSidesInOne", "800x600", "600", 0, 0, "width"},
    {"SpaceInside", "8 00", "600", 0, 0, "width"},
};

class ExportSizes : public ::testing::TestWithParam<SizeRow> {};

TEST_P(ExportSizes, AreWholeSidesOneTo65535)
{
    const SizeRow& row = GetParam();
    const Result<PictureSize> size = exportSizeOf(row.width, row.height);
    if (row.wantWidth == 0) {
        ASSERT_FALSE(size);
        EXPECT_NE(size.error().find(row.side), std::string::npos) << size.error();
        return;
    }
    ASSERT_TRUE(size) << size.error();
    EXPECT_EQ(*size, (PictureSize{row.wantWidth, row.wantHeight}));
}

TEST_P(ExportSizes, TheDialogExportsOnlyGoodOnes)
{
    const SizeRow& row = GetParam();
    testing::qtApp();
    QTemporaryDir dir;
    ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
    dialog.preset()->setCurrentIndex(dialog.preset()->count() - 1);  // Custom
    dialog.widthEdit()->setText(QString::fromLatin1(row.width));
    dialog.heightEdit()->setText(QString::fromLatin1(row.height));
    dialog.accept();
    if (row.wantWidth == 0) {
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.problem()->isHidden());
        EXPECT_TRUE(dialog.problem()->text().contains(QString::fromLatin1(row.side)))
            << dialog.problem()->text().toStdString();
        return;
    }
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem()->text().toStdString();
    EXPECT_EQ(dialog.chosenSize(), (PictureSize{row.wantWidth, row.wantHeight}));
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, ExportSizes, ::testing::ValuesIn(kSizes),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- The file the dialog proposes, and what it accepts ----

struct ChoiceRow {
    const char* name;
    int preset;               // -1: Custom with 640 x 480
    int format;               // 0 PNG, 1 BMP
    const char* typedPath;    // typed over the proposal (relative to the folder), or null
    const char* wantFile;     // the file chosen, relative to the folder; null: refused
};

void PrintTo(const ChoiceRow& row, std::ostream* os) { *os << row.name; }

const ChoiceRow kChoices[] = {
    {"FirstPreset", 0, 0, nullptr, "M20240309080507-1920x1080.png"},
    {"Poster", 1, 0, nullptr, "M20240309080507-3840x2160.png"},
    {"Square", 3, 0, nullptr, "M20240309080507-8192x8192.png"},
    {"CustomBmp", -1, 1, nullptr, "M20240309080507-640x480.bmp"},
    {"TypedName", 0, 0, "poster.png", "poster.png"},
    {"TypedNameUpperCase", 0, 0, "poster.PNG", "poster.PNG"},
    {"TypedNameFormatFollows", 0, 1, "poster.png", "poster.bmp"},
    {"TypedNameWrongFormat", 0, 0, "poster.bmp", nullptr},
    {"UnknownExtension", 0, 0, "poster.jpg", nullptr},
    {"NoExtension", 0, 0, "poster", nullptr},
    {"NoName", 0, 0, "", nullptr},
    {"AFolder", 0, 0, ".", nullptr},
};

class ExportChoices : public ::testing::TestWithParam<ChoiceRow> {};

TEST_P(ExportChoices, NameTheFileInTheFolder)
{
    const ChoiceRow& row = GetParam();
    testing::qtApp();
    QTemporaryDir dir;
    ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
    if (row.preset >= 0) {
        dialog.preset()->setCurrentIndex(row.preset);
    } else {
        dialog.preset()->setCurrentIndex(dialog.preset()->count() - 1);
        dialog.widthEdit()->clear();
        QTest::keyClicks(dialog.widthEdit(), QStringLiteral("640"));
        dialog.heightEdit()->clear();
        QTest::keyClicks(dialog.heightEdit(), QStringLiteral("480"));
    }
    if (row.typedPath) {
        dialog.pathEdit()->clear();
        QTest::keyClicks(dialog.pathEdit(), QDir(dir.path()).filePath(QString::fromLatin1(row.typedPath)));
    }
    dialog.format()->setCurrentIndex(row.format);
    dialog.accept();
    if (!row.wantFile) {
        EXPECT_NE(dialog.result(), QDialog::Accepted) << dialog.chosenPath();
        EXPECT_FALSE(dialog.problem()->isHidden());
        return;
    }
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.problem()->text().toStdString();
    EXPECT_EQ(dialog.chosenPath(), QDir(dir.path()).filePath(QString::fromLatin1(row.wantFile)).toStdString());
    EXPECT_EQ(dialog.chosenFormat(), row.format == 1 ? ImageFormat::Bmp : ImageFormat::Png);
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, ExportChoices, ::testing::ValuesIn(kChoices),
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
            QFile f(folder.filePath(QString::fromLatin1(step.take)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
        EXPECT_EQ(dialog.pathEdit()->text(), folder.filePath(QString::fromLatin1(step.propose)));
    }
    // The other format's name is free.
    ExportDialog dialog(dir.path(), QString::fromLatin1(kStamp));
    dialog.format()->setCurrentIndex(1);
    EXPECT_EQ(dialog.pathEdit()->text(), folder.filePath(QStringLiteral("M20240309080507-1920x1080.bmp")));
}

struct FreeRow {
    const char* name;
    const char* existing;  // files made first, separated by '|'
    const char* path;
    const char* want;
};

void PrintTo(const FreeRow& row, std::ostream* os) { *os << row.name; }

const FreeRow kFree[] = {
    {"Free", "", "a.png", "a.png"},
    {"Taken", "a.png", "a.png", "a-2.png"},
    {"GapIsFilled", "a.png|a-3.png", "a.png", "a-2.png"},
    {"NoExtension", "poster", "poster", "poster-2"},
    {"DotInFolder", "d.e/poster", "d.e/poster", "d.e/poster-2"},
    {"HiddenFile", ".png", ".png", ".png-2"},
    {"FolderTakesTheName", "b.png/", "b.png", "b-2.png"},
};

class FirstFreePath : public ::testing::TestWithParam<FreeRow> {};

TEST_P(FirstFreePath, NeverNamesATakenFile)
{
    const FreeRow& row = GetParam();
    QTemporaryDir dir;
    const QDir folder(dir.path());
    for (const QString& name : QString::fromLatin1(row.existing).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (name.endsWith(QLatin1Char('/'))) {
            ASSERT_TRUE(folder.mkpath(name));
            continue;
        }
        ASSERT_TRUE(folder.mkpath(QFileInfo(folder.filePath(name)).path()));
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(firstFreePath(folder.filePath(QString::fromLatin1(row.path)).toStdString()),
              folder.filePath(QString::fromLatin1(row.want)).toStdString());
}

INSTANTIATE_TEST_SUITE_P(ExportDialog, FirstFreePath, ::testing::ValuesIn(kFree),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- Exporting from the window ----

enum class Mode { Legacy, Deep };

struct ExportRow {
    const char* name;
    Mode mode;
    ImageFormat format;
    int width, height;
};

void PrintTo(const ExportRow& row, std::ostream* os) { *os << row.name; }

const ExportRow kExports[] = {
    {"LegacyPng", Mode::Legacy, ImageFormat::Png, 64, 48},
    {"LegacyPngTall", Mode::Legacy, ImageFormat::Png, 17, 90},
    {"LegacyBmp", Mode::Legacy, ImageFormat::Bmp, 40, 30},
    {"DeepPng", Mode::Deep, ImageFormat::Png, 48, 64},
};

class WindowExports : public ::testing::TestWithParam<ExportRow> {};

TEST_P(WindowExports, WriteTheViewShownAtTheSizeChosen)
{
    const ExportRow& row = GetParam();
    TestWindow w(11);
    w->OnLoad();
    w->OnPictureMouseDown(Qt::LeftButton, {}, 190.0f, 310.0f);
    if (row.mode == Mode::Deep) {
        ASSERT_TRUE(w->goToLocation("mandel-location/1 mode=4 fn=1.5,2.5,0.5 moduli=170,230,300 "
                                    "centre=-0.7436438870371587,0.1318259042053119 zoom=4 iterations=600"));
        ASSERT_TRUE(waitForPicture(*w));
        ASSERT_TRUE(w->location() && w->location()->deep);
    }
    const Location shown = *w->location();
    const QString path =
        w.dir.filePath(row.format == ImageFormat::Png ? QStringLiteral("out.png") : QStringLiteral("out.bmp"));
    ASSERT_TRUE(w->exportPicture(path.toStdString(), {row.width, row.height}, row.format));
    EXPECT_TRUE(w->isExporting());
    ASSERT_TRUE(waitForExport(*w));

    EXPECT_TRUE(w->noticeText().contains(path)) << w->noticeText().toStdString();
    EXPECT_FALSE(noticeIsProblem(*w)) << w->noticeText().toStdString();
    EXPECT_EQ(w->exportProgress(), nullptr);
    const QImage picture(path);
    EXPECT_EQ(picture.size(), QSize(row.width, row.height));
    if (row.format == ImageFormat::Png) {
        const Result<Location> stored = readPngLocation(path.toStdString());
        ASSERT_TRUE(stored) << stored.error();
        Location want = shown;
        want.size = PictureSize{row.width, row.height};
        EXPECT_EQ(*stored, want) << formatLocation(*stored) << "\nwanted " << formatLocation(want);
    }
    EXPECT_EQ(*w->location(), shown) << "exporting leaves the view as it was";
}

INSTANTIATE_TEST_SUITE_P(Form1Export, WindowExports, ::testing::ValuesIn(kExports),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Form1Export, At596ItIsThePictureTheWindowShows)
{
    // Modes 7 and 8 chain their colours over other pixels, so these are not.
    const char* const views[] = {
        "mandel-location/1 mode=3 fn=4.2187495,0.5,9.99 moduli=150,200,304 clicks=300,300/450.5,150.25",
        "mandel-location/1 mode=5 fn=1.5,2.5,0.5 moduli=170,230,300 "
        "centre=-0.7436438870371587,0.1318259042053119 zoom=4 iterations=600",
    };
    for (const char* view : views) {
        SCOPED_TRACE(view);
        TestWindow w(11);
        w->OnLoad();
        ASSERT_TRUE(w->goToLocation(view));
        ASSERT_TRUE(waitForPicture(*w));
        const QString path = w.dir.filePath(QStringLiteral("same.png"));
        ASSERT_TRUE(w->exportPicture(path.toStdString(), {596, 596}, ImageFormat::Png));
        ASSERT_TRUE(waitForExport(*w));
        const QImage exported = QImage(path).convertToFormat(QImage::Format_RGB32);
        const QImage shown = w->pictureImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(exported.size(), shown.size());
        int differing = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differing += exported.pixel(x, y) != shown.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

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

TEST(Form1Export, OneAtATime)
{
    TestWindow w(11);
    w->OnLoad();
    const QString folder = w.dir.filePath(QStringLiteral("posters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(w->exportPicture(QDir(folder).filePath(QStringLiteral("a.png")).toStdString(), {2000, 2000},
                                 ImageFormat::Png));
    EXPECT_FALSE(w->exportPicture(QDir(folder).filePath(QStringLiteral("b.png")).toStdString(), {20, 20},
                                  ImageFormat::Png));
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("running"))) << w->noticeText().toStdString();
    w->cancelExport();
    ASSERT_TRUE(waitForExport(*w));
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath(QStringLiteral("b.png"))));
}

TEST(Form1Export, CancelLeavesNoFile)
{
    TestWindow w(11);
    w->OnLoad();
    const QString folder = w.dir.filePath(QStringLiteral("posters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(w->exportPicture(QDir(folder).filePath(QStringLiteral("big.png")).toStdString(), {8192, 8192},
                                 ImageFormat::Png));
    QProgressDialog* shown = w->exportProgress();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    // Gone once the export ends: watched, not held.
    const QPointer<QProgressDialog> progress = shown;
    // The user's way: the progress window's Cancel button, once writing is under way.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isExporting() || (progress && progress->value() > 0); }, 120000));
    ASSERT_TRUE(w->isExporting()) << "the poster was written before it could be cancelled";
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(waitForExport(*w));
    EXPECT_TRUE(filesIn(folder).isEmpty()) << filesIn(folder).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(w->noticeText().contains(QStringLiteral("cancelled"))) << w->noticeText().toStdString();
    EXPECT_FALSE(noticeIsProblem(*w));
}

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

TEST(Form1Export, ClosingTheWindowStopsItAndLeavesNoFile)
{
    TestWindow w(11);
    w->OnLoad();
    const QString folder = w.dir.filePath(QStringLiteral("posters"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(w->exportPicture(QDir(folder).filePath(QStringLiteral("big.png")).toStdString(), {8192, 8192},
                                 ImageFormat::Png));
    w->close();
    EXPECT_TRUE(w->isEnding());
    w.form.reset();
    testing::runPendingEvents();
    EXPECT_TRUE(filesIn(folder).isEmpty()) << filesIn(folder).join(QLatin1Char(' ')).toStdString();
}

TEST(Form1Export, WithoutALocationItIsRefused)
{
    TestWindow w(11);
    w->OnLoad();
    w->setState(w->state());
    EXPECT_FALSE(w->exportPicture(w.dir.filePath(QStringLiteral("x.png")).toStdString(), {20, 20}, ImageFormat::Png));
    EXPECT_FALSE(w->isExporting());
    EXPECT_TRUE(noticeIsProblem(*w));
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
    {"Missing", "", Damage::None, "No such file"},
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
