// Until the window exists, lumivert runs headless: it builds the model, which starts the
// automation mode when a LUMIVERT_ variable is set, and quits when the automation has finished.
#include "AppModel.hpp"

#include <QApplication>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumivert"));
    QApplication::setApplicationName(QStringLiteral("Lumivert"));

    const QStringList names = QProcessEnvironment::systemEnvironment().keys();
    const bool automated = std::any_of(names.begin(), names.end(), [](const QString& name) {
        return name.startsWith(QStringLiteral("LUMIVERT_"));
    });
    if (!automated) {
        std::fputs("lumivert: the window is not built yet; set LUMIVERT_ variables to run the "
                   "automation mode (see README.md).\n",
                   stderr);
        return 1;
    }
    lumivert::AppModel model;
    QObject::connect(&model, &lumivert::AppModel::automationFinished, &application,
                     &QApplication::quit, Qt::QueuedConnection);
    return QApplication::exec();
}
