#include "FilePanels.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace lumivert;

namespace {

// Stands in for the desktop's URL opener, recording what it was asked to open.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

// A file manager on the session bus that only remembers which items it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

bool fileManagerOnTheBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(fileManagerService);
}

}  // namespace

class FilePanelsTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void revealWithoutAFileManagerOpensTheFolder()
    {
        if (fileManagerOnTheBus())
            QSKIP("A file manager answers on the session bus; it would show the file itself.");
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Teal Look.cube"));
        QFile(file).open(QIODevice::WriteOnly);
        OpenedUrls opened;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");

        QtFilePanels panels;
        panels.reveal(file);
        QTRY_COMPARE(opened.urls,
                     QList<QUrl>{QUrl::fromLocalFile(QDir(folder.path()).absolutePath())});
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    void revealAsksTheFileManagerToShowTheFile()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("No session bus; the fallback is tested instead.");
        if (fileManagerOnTheBus())
            QSKIP("A real file manager answers on the session bus.");
        FakeFileManager fileManager;
        QVERIFY(bus.registerObject(fileManagerPath, &fileManager, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(fileManagerService));
        OpenedUrls opened;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Teal Look.cube"));

        QtFilePanels panels;
        panels.reveal(file);
        QTRY_COMPARE(fileManager.shown,
                     QStringList{QString::fromUtf8(QUrl::fromLocalFile(file).toEncoded())});
        QVERIFY(fileManager.shown.front().contains(QStringLiteral("Teal%20Look.cube")));
        QVERIFY(opened.urls.isEmpty());

        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        bus.unregisterService(fileManagerService);
        bus.unregisterObject(fileManagerPath);
    }
};

QTEST_MAIN(FilePanelsTests)
#include "FilePanelsTests.moc"
