#include "FilePanels.hpp"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
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

QWidget* revealFailedBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QStringLiteral("revealFailed") && widget->isVisible())
            return widget;
    return nullptr;
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

    void saveMessageHasARowOfItsOwn()
    {
        // The same panel with and without a long message: the file-name row keeps its label and
        // its width, and the type box still shows its whole filter.
        QTemporaryDir folder;
        FilePanels::SaveRequest request{QStringLiteral("Save Identity HALD"),
                                        QString(),
                                        QStringLiteral("Identity HALD.png"),
                                        folder.path(),
                                        {QStringLiteral("PNG image (*.png)")}};
        const auto rowWidths = [](QFileDialog& dialog) {
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.resize(820, 520);
            dialog.show();
            return std::pair(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")),
                             dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")));
        };
        const auto plain = QtFilePanels::saveDialog(request);
        const auto [plainName, plainType] = rowWidths(*plain);
        QVERIFY(QTest::qWaitForWindowExposed(plain.get()));

        request.message = QStringLiteral(
            "Grade this image in your editor like a photo, then open it in Lumivert in HALD mode "
            "to turn the grade into a LUT. Keep it as a lossless PNG at its full size.");
        const auto withMessage = QtFilePanels::saveDialog(request);
        const auto [name, type] = rowWidths(*withMessage);
        QVERIFY(QTest::qWaitForWindowExposed(withMessage.get()));

        QVERIFY(name && type && plainName && plainType);
        QCOMPARE(withMessage->labelText(QFileDialog::FileName),
                 plain->labelText(QFileDialog::FileName));
        QCOMPARE(name->width(), plainName->width());
        QVERIFY2(name->width() > 300, qPrintable(QString::number(name->width())));
        QVERIFY(type->width() >= type->sizeHint().width());
        auto* message = withMessage->findChild<QLabel*>(QStringLiteral("requestMessage"));
        QVERIFY(message && message->isVisible());
        QCOMPARE(message->text(), request.message);
        QCOMPARE(name->text(), QStringLiteral("Identity HALD.png"));
    }

    void revealWithNothingToShowItTellsTheUser()
    {
        if (fileManagerOnTheBus())
            QSKIP("A file manager answers on the session bus; it would show the file itself.");
        if (!QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("xdg-open is installed; the folder would open.");
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Teal Look.cube"));
        QtFilePanels panels;
        panels.reveal(file);
        QMessageBox* told = nullptr;
        QTRY_VERIFY((told = qobject_cast<QMessageBox*>(revealFailedBox())) != nullptr);
        QCOMPARE(told->text(), QStringLiteral("Couldn\u2019t show the file"));
        QVERIFY2(told->informativeText().contains(file), qPrintable(told->informativeText()));
        told->close();
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
