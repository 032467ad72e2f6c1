#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace mandel {
namespace {

using testing::columnIsBackground;
using testing::pictureOf;
using testing::postClick;
using testing::TestWindow;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Pixel (x, y) of a 24-bit bottom-up BMP with 596-pixel rows (1788 bytes,
// already a multiple of 4).
Colour bmpPixel(const QByteArray& bmp, int x, int y)
{
    const auto at = static_cast<qsizetype>(54 + (595 - y) * 1788 + x * 3);
    const auto byte = [&](qsizetype i) { return static_cast<int>(static_cast<unsigned char>(bmp[i])); };
    return composeColour(byte(at + 2), byte(at + 1), byte(at));  // stored blue, green, red
}

const char* const kName = "M20240309080507.bmp";  // the fixed clock: 9 March 2024, 08:05:07

TEST(Form1Save, WritesThePictureAsTheHeadlessRendererDrawsIt)
{
    TestWindow w(7);
    w->OnLoad();
    const QString status = w->statusText();
    const ExplorerState before = w->state();
    QTest::mouseClick(w->Command4(), Qt::LeftButton);

    const QString path = QDir(QString::fromStdString(w->saveFolder())).filePath(QString::fromLatin1(kName));
    const QByteArray saved = readFile(path);
    ASSERT_EQ(saved.size(), 54 + 596 * 1788) << path.toStdString();
    EXPECT_EQ(w->state().imeslike, "M20240309080507");
    ExplorerState rest = w->state();
    rest.imeslike = before.imeslike;
    EXPECT_EQ(rest, before);
    EXPECT_EQ(w->statusText(), status);
    EXPECT_TRUE(w->noticeText().contains(path)) << w->noticeText().toStdString();
    EXPECT_EQ(w->Picture2()->image(), w->pictureImage()) << "Picture2 holds the copy that was saved";

    // The same seed gives mandel-render the same start-up picture.
    const QString other = w.dir.filePath(QStringLiteral("render.bmp"));
    const int rc = QProcess::execute(QStringLiteral(MANDEL_RENDER_BINARY),
                                     {QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--out"), other});
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(saved == readFile(other)) << "window and mandel-render disagree";
}

TEST(Form1Save, TwoSavesInOneSecondKeepBothPictures)
{
    TestWindow w(7);
    w->OnLoad();
    QTest::mouseClick(w->Command4(), Qt::LeftButton);
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 186, 2 + 300));
    QTest::mouseClick(w->Command4(), Qt::LeftButton);
    const QDir folder(QString::fromStdString(w->saveFolder()));
    const QByteArray first = readFile(folder.filePath(QString::fromLatin1(kName)));
    const QByteArray second = readFile(folder.filePath(QStringLiteral("M20240309080507-2.bmp")));
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_NE(first, second);
    EXPECT_EQ(bmpPixel(second, 10, 20), fromQRgb(w->pictureImage().pixel(10, 20)));
}

TEST(Form1Save, ASaveMidDrawingWritesWhatIsOnThePictureThen)
{
    TestWindow w(7);
    w->OnLoad();
    int prints = 0;
    QObject::connect(w.form.get(), &Form1::statusPrinted, [&] { ++prints; });
    w->setYieldHook([&](int column) {
        if (column == 100)
            postClick(w->Command4());
    });
    QTest::mousePress(w->Picture1(), Qt::LeftButton, Qt::NoModifier, QPoint(2 + 186, 2 + 300));

    const QByteArray saved =
        readFile(QDir(QString::fromStdString(w->saveFolder())).filePath(QString::fromLatin1(kName)));
    ASSERT_EQ(saved.size(), 54 + 596 * 1788);
    for (const int y : {0, 300, 595}) {
        EXPECT_EQ(bmpPixel(saved, 99, y), fromQRgb(w->pictureImage().pixel(99, y))) << "drawn before the save";
        EXPECT_EQ(bmpPixel(saved, 100, y), kBackground) << "not yet drawn: the cleared background";
        EXPECT_EQ(bmpPixel(saved, 595, y), kBackground);
    }
    EXPECT_FALSE(columnIsBackground(*w, 595)) << "the drawing went on after the save";
    EXPECT_EQ(prints, 1);
}

TEST(Form1Save, AFailureIsShownWithPathAndReasonAndChangesNothingElse)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = dir.filePath(QStringLiteral("not-a-folder/tivek-art"));
    TestWindow w(7, folder.toStdString());
    w->OnLoad();
    const ExplorerState before = w->state();
    const QImage picture = w->pictureImage();
    const QString status = w->statusText();

    QTest::mouseClick(w->Command4(), Qt::LeftButton);
    const QString notice = w->noticeText();
    EXPECT_TRUE(notice.contains(folder)) << notice.toStdString();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not save"))) << notice.toStdString();
    EXPECT_GT(notice.size(), QStringLiteral("Could not save the picture to : ").size() + folder.size())
        << "the reason is missing: " << notice.toStdString();
    EXPECT_EQ(w->state(), before);
    EXPECT_EQ(w->pictureImage(), picture);
    EXPECT_EQ(w->statusText(), status);
    EXPECT_FALSE(w->isEnding());
}

TEST(Form1Save, APathWithALineBreakIsShownOnOneLine)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("line\nbreak/tivek-art"));
    TestWindow w(7, folder.toStdString());
    w->OnLoad();
    QTest::mouseClick(w->Command4(), Qt::LeftButton);
    ASSERT_TRUE(QFile::exists(QDir(folder).filePath(QString::fromLatin1(kName))));
    const QString notice = w->noticeText();
    EXPECT_FALSE(notice.contains(QLatin1Char('\n'))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("line\\nbreak"))) << notice.toStdString();
    EXPECT_FALSE(w->Command4()->toolTip().contains(QLatin1Char('\n')));
}

TEST(Form1Save, AWriteThatFailsInAnExistingFolderShowsItsReason)
{
    TestWindow w(7);
    w->OnLoad();
    // A file size limit makes the write fail as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{4096, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    QTest::mouseClick(w->Command4(), Qt::LeftButton);
    ::setrlimit(RLIMIT_FSIZE, &old);
    const QString notice = w->noticeText();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not save"))) << notice.toStdString();
    EXPECT_TRUE(notice.endsWith(QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(EFBIG))))
        << "the reason is missing: " << notice.toStdString();
    EXPECT_TRUE(QDir(QString::fromStdString(w->saveFolder())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
} // namespace mandel
