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

    // Every argument is checked (and a --location-file read) before the
    // window system starts: bad input is refused with status 2 even where
    // there is no display to start.
    const auto options = mandel::parseExplorerOptions(std::vector<std::string>(argv + 1, argv + argc),
                                                      [](const std::string& line) {
                                                          std::cerr << "mandel-explorer: " << line << std::endl;
                                                      });
    if (!options) {
        std::cerr << options.error() << '\n';
        return 2;
    }

    // Qt gets the program's name and its own options; it keeps pointers to them.
    std::vector<std::string> qtArguments = options->qtArguments;
    qtArguments.insert(qtArguments.begin(), argv[0]);
    std::vector<char*> qtArgv;
    for (auto& arg : qtArguments)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());

    QApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName(QStringLiteral("mandel-explorer"));
    QApplication::setApplicationVersion(QString::fromUtf8(mandel::kVersion.data(), static_cast<qsizetype>(mandel::kVersion.size())));
    QApplication::setDesktopFileName(QStringLiteral("org.mandelexplorer.MandelExplorer"));

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
