#include "ExplorerCommandLine.h"
#include "Form1.h"

#include "Clock.h"
#include "RandomSource.h"
#include "SaveLocations.h"
#include "Version.h"

#include <QApplication>
#include <QTimer>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // --help and --version need no display: answer them before Qt looks for one.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << mandel::explorerUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << mandel::explorerVersion();
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mandel-explorer"));
    QApplication::setApplicationVersion(QString::fromUtf8(mandel::kVersion.data(), static_cast<qsizetype>(mandel::kVersion.size())));
    QApplication::setDesktopFileName(QStringLiteral("org.mandelexplorer.MandelExplorer"));

    const std::vector<std::string> args(argv + 1, argv + argc);  // what Qt left
    const auto options = mandel::parseExplorerOptions(args);
    if (!options) {
        std::cerr << options.error() << '\n';
        return 2;
    }

    const mandel::SystemClock clock;
    mandel::Form1 form(options->seed ? *options->seed : mandel::secondsSinceMidnightSeed(),
                       mandel::saveFolder(), clock);
    // Start-up runs inside the event loop, so that "exit" during the first
    // picture ends the loop.
    QTimer::singleShot(0, &form, &mandel::Form1::OnLoad);
    // The location then replaces the start-up picture, as a command that
    // can be undone; while that picture is drawn, the newest view wins.
    if (options->location)
        QTimer::singleShot(0, &form, [&form, location = *options->location] { form.goTo(location); });
    return QApplication::exec();
}
