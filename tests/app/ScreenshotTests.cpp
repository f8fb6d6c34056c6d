// The whole program, once per mode: the automation mode loads the sample photos, the window
// settles and saves its screenshot. The comparison must show the photo, not the empty zone.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Distinct colours in the middle of the window, where the preview sits.
int previewColourCount(const QImage& shot)
{
    const QRect middle(shot.width() * 3 / 10, shot.height() / 4, shot.width() * 2 / 5,
                       shot.height() / 2);
    QSet<QRgb> colours;
    for (int y = middle.top(); y <= middle.bottom(); y += 2)
        for (int x = middle.left(); x <= middle.right(); x += 2)
            colours.insert(shot.pixel(x, y));
    return static_cast<int>(colours.size());
}

}  // namespace

class ScreenshotTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder_.isValid());
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start(
            QStringLiteral(LUMIVERT_SOURCE_DIR "/scripts/screenshots"),
            {QStringLiteral(LUMIVERT_BINARY), QStringLiteral(LUMIVERT_CLI_BINARY), folder_.path()});
        QVERIFY(script.waitForFinished(600000));
        QCOMPARE(script.exitCode(), 0);
    }

    void everyModeRendersItsSample_data()
    {
        QTest::addColumn<QString>("mode");
        for (const char* mode : {"look", "match", "edit", "hald"})
            QTest::newRow(mode) << QString::fromLatin1(mode);
    }

    void everyModeRendersItsSample()
    {
        QFETCH(QString, mode);
        const QImage shot(folder_.filePath(mode + QStringLiteral(".png")));
        QVERIFY2(!shot.isNull(), qPrintable(mode));
        QCOMPARE(shot.size(), QSize(1380, 860));
        // The empty drop zone has a handful of colours; a photo has thousands.
        QVERIFY2(previewColourCount(shot) > 1000,
                 qPrintable(QString::number(previewColourCount(shot))));
    }

    void everySizeAndThemeIsRendered_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (const char* mode : {"look", "edit"})
            for (const QSize size : {QSize(1380, 860), QSize(1024, 700)})
                for (const char* theme : {"dark", "light"}) {
                    const QString name = QStringLiteral("%1-%2x%3-%4")
                                             .arg(QString::fromLatin1(mode))
                                             .arg(size.width())
                                             .arg(size.height())
                                             .arg(QString::fromLatin1(theme));
                    QTest::newRow(qPrintable(name)) << name << size;
                }
    }

    void everySizeAndThemeIsRendered()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QImage shot(folder_.filePath(name + QStringLiteral(".png")));
        QVERIFY2(!shot.isNull(), qPrintable(name));
        QCOMPARE(shot.size(), size);
        QVERIFY(previewColourCount(shot) > 1000);
    }

    void actualSizeShowsMoreDetailThanFit()
    {
        const QImage fit(folder_.filePath(QStringLiteral("zoom-fit.png")));
        const QImage actual(folder_.filePath(QStringLiteral("zoom-actual-size.png")));
        if (fit.isNull() && actual.isNull())
            QSKIP("ImageMagick's convert is missing: no zoom shots were taken.");
        QCOMPARE(actual.size(), QSize(1380, 860));
        // At 1:1 the photo fills the pane, where at fit the backdrop shows above and below it.
        const QRect middle(fit.width() * 3 / 10, fit.height() / 4, fit.width() * 2 / 5,
                           fit.height() / 2);
        QVERIFY(fit.copy(middle) != actual.copy(middle));
        QVERIFY(previewColourCount(actual) > 1000);
    }

    void savePanelShowsItsMessage()
    {
        const QImage panel(folder_.filePath(QStringLiteral("save-dialog.png")));
        QVERIFY(!panel.isNull());
        QVERIFY(panel.width() > 400);
    }

private:
    QTemporaryDir folder_;
};

QTEST_MAIN(ScreenshotTests)
#include "ScreenshotTests.moc"
