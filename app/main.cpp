// lumivert: one model, one main window, files from the command line and from later launches,
// and the automation mode. Under the offscreen platform nobody can close the window, so an
// automated run quits once its script has finished, with status 1 when it failed.
#include "AppModel.hpp"
#include "Automation.hpp"
#include "Columns.hpp"
#include "Commands.hpp"
#include "ContentView.hpp"
#include "FileOpenQueue.hpp"
#include "ScreenshotScene.hpp"
#include "SingleInstance.hpp"
#include "Theme.hpp"
#include "WindowPlacement.hpp"

#include "LumivertVersion.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QProcessEnvironment>
#include <QSettings>

#include <cstdio>

namespace {

bool windowIsInvisible()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal");
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumivert"));
    QApplication::setApplicationName(QStringLiteral("Lumivert"));
    QApplication::setApplicationVersion(QStringLiteral(LUMIVERT_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral(LUMIVERT_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumivert.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns images into 3D colour lookup tables (.cube, .3dl, HALD .png)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption instance(
        QStringLiteral("instance"),
        QStringLiteral("Name of the local socket that keeps one window per user."),
        QStringLiteral("name"), lumivert::SingleInstance::defaultServerName());
    parser.addOption(instance);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Images or LUT files to open."),
                                 QStringLiteral("[files…]"));
    parser.process(application);
    const QStringList files = lumivert::filesFromArguments(parser.positionalArguments());

    // An automated run is a script of its own: it neither joins nor becomes the running window.
    const bool automated =
        lumivert::Automation::isRequested(QProcessEnvironment::systemEnvironment().keys());
    lumivert::SingleInstance single(parser.value(instance));
    if (!automated) {
        if (single.forward(files))
            return 0;
        // Says why later launches will not reach this window (another user's socket, a folder
        // that is not private); this window opens all the same.
        single.listen();
        if (!single.problem().isEmpty())
            std::fprintf(stderr, "lumivert: %s\n", qPrintable(single.problem()));
    }

    lumivert::Theme::apply(application);
    lumivert::AppModel model;
    lumivert::Automation automation(model);
    lumivert::FileOpenQueue queue;
    queue.open(files);

    lumivert::ContentView window(model, lumivert::makeColumns(model));
    lumivert::installCommands(window, model);
    QObject::connect(&window, &lumivert::ContentView::appeared, &window, [&] {
        queue.setModel(&model);
        queue.flushPending();
    });
    QObject::connect(&single, &lumivert::SingleInstance::filesReceived, &window,
                     [&](const QStringList& paths) {
                         queue.open(paths);
                         window.showNormal();
                         window.raise();
                         window.activateWindow();
                     });

    const QString screenshot = qEnvironmentVariable("LUMIVERT_SCREENSHOT");
    if (!screenshot.isEmpty())
        QObject::connect(&automation, &lumivert::Automation::settled, &window, [&] {
            if (!lumivert::ScreenshotScene::shoot(window, model, model.environment(), screenshot))
                std::fprintf(stderr, "lumivert: could not write the screenshot to %s.\n",
                             qPrintable(screenshot));
        });
    if (windowIsInvisible())
        QObject::connect(
            &automation, &lumivert::Automation::finished, &application,
            [](bool succeeded) { QApplication::exit(succeeded ? 0 : 1); }, Qt::QueuedConnection);

    // An automated run shows the size it was asked for and leaves the user's own untouched.
    QSettings placement;
    if (!automated && !model.capturing()) {
        lumivert::WindowPlacement::restore(window, placement);
        QObject::connect(&application, &QApplication::aboutToQuit, &window,
                         [&] { lumivert::WindowPlacement::remember(window, placement); });
    }
    automation.start();
    window.show();
    return QApplication::exec();
}
