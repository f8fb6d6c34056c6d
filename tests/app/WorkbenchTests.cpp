// The window as a workbench: an opened LUT file shows the facts `info` prints and grades the
// preview as `apply` does; Apply to Photos writes the command line's bytes and never an input;
// recent files keep their order, limit and clearing; the Help menu lists every shortcut.
#include "AnalysisPanel.hpp"
#include "ApplyPhotosDialog.hpp"
#include "Commands.hpp"
#include "HelpMenu.hpp"
#include "ModeControls.hpp"
#include "ModeRow.hpp"
#include "ModelFixtures.hpp"
#include "PhotoBatch.hpp"
#include "RecentFiles.hpp"
#include "SidebarView.hpp"

#include "imaging/RowGrader.hpp"
#include "lut/LUTFacts.hpp"
#include "lut/LUTWriter.hpp"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QTest>

#include <cmath>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int processTimeoutMs = 180000;

std::filesystem::path fsPath(const QString& file) { return QFile::encodeName(file).toStdString(); }

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A grade no format could mistake for the identity: a lifted, warmed, bent table.
QString writeLUT(const QString& path, std::int64_t size)
{
    const LUT3D lut = LUT3D::build(size, [](const RGB& c) {
        return RGB{std::pow(c.r, 0.8f), 0.9f * c.g + 0.05f, c.b * c.b};
    });
    LUTWriter::writeCube(lut, "Workbench", fsPath(path));
    return path;
}

int runCli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(LUMIVERT_CLI_BINARY), arguments);
    if (!process.waitForFinished(processTimeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// What apply writes for 8-bit pixels: the file's stack, blended, through the apply grader.
QByteArray appliedLevels(const Image8& image, const LUTStack& lut, float strength)
{
    const LUTStackGrader grader(lut.withStrength(strength));
    QByteArray levels(static_cast<qsizetype>(image.samples().size()), '\0');
    grader.grade(image.data(), reinterpret_cast<std::uint8_t*>(levels.data()),
                 image.width() * image.height(), Image8::channels);
    return levels;
}

QByteArray levelsOf(const QImage& image)
{
    QByteArray levels;
    for (int y = 0; y < image.height(); ++y)
        levels.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                      static_cast<qsizetype>(image.width()) * 4);
    return levels;
}

QStringList recentPaths(const RecentFiles& recent)
{
    QStringList paths;
    for (const RecentFiles::Entry& entry : recent.entries())
        paths << entry.path;
    return paths;
}

}  // namespace

class WorkbenchTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openedLUTShowsItsFactsAndGradesAsApply_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<double>("intensity");
        QTest::newRow("17 points, full") << 17 << 1.0;
        QTest::newRow("33 points, weakened") << 33 << 0.6;
        QTest::newRow("65 points, pushed") << 65 << 1.4;
    }

    void openedLUTShowsItsFactsAndGradesAsApply()
    {
        QFETCH(int, size);
        QFETCH(double, intensity);
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        fixtures::adjust(*model, [intensity](GradeRecipe::Settings& settings) {
            settings.intensity = static_cast<float>(intensity);
        });
        const QString file = writeLUT(harness.path(QStringLiteral("Teal.cube")), size);
        model->openLUTFile(file);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->showingLUTFile());
        QCOMPARE(model->lutName(), QStringLiteral("Teal"));
        QVERIFY(model->statusLine()->contains(QStringLiteral(".cube, 3D table")));

        const LUTFacts::LUTFile read = LUTFacts::read(fsPath(file));
        QCOMPARE(panel.shownRows(), AnalysisPanel::rows(LUTFacts::facts(read)));
        QCOMPARE(panel.shownRows().front().value, QStringLiteral(".cube, 3D table"));
        QVERIFY(!panel.paletteSection()->isVisible());

        const QByteArray expected =
            appliedLevels(model->previewInput().image(), read.lut, static_cast<float>(intensity));
        QCOMPARE(levelsOf(model->previewGraded()), expected);
        QCOMPARE(model->neutralCurve().size(), static_cast<std::size_t>(size));
    }

    void aModeLeavesTheLUTFileWhichStaysForLater_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::newRow("the mode it was opened from") << Mode::look;
        QTest::newRow("another mode") << Mode::edit;
    }

    void aModeLeavesTheLUTFileWhichStaysForLater()
    {
        QFETCH(Mode, mode);
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        const QImage identity = model->previewGraded();
        // Dropped on a well, a LUT file is shown rather than refused as an image.
        model->load(writeLUT(harness.path(QStringLiteral("Warm.cube")), 9), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->showingLUTFile());
        QVERIFY(!model->images().contains(Slot::lookReference));
        QVERIFY(model->previewGraded() != identity);

        model->setMode(mode);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(!model->showingLUTFile());
        QVERIFY(model->lutFile().has_value());
        QCOMPARE(model->previewGraded(), identity);
        QVERIFY(!model->canExport());

        model->setShowingLUTFile(true);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->previewGraded() != identity);
        QVERIFY(model->canExport());
    }

    // The sidebar shows the LUT file beside the modes; the mode card offers only its intensity.
    void theSidebarAndTheModeCardShowTheLUTFileBesideTheModes()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        SidebarView sidebar(*model);
        ModeControls controls(*model);
        ModeRow* row = sidebar.lutFileRow();
        QVERIFY(!row->isSelected());
        QVERIFY(row->description().contains(QStringLiteral(".cube")));
        QVERIFY(controls.slider(QStringLiteral("Tone")));

        model->openLUTFile(writeLUT(harness.path(QStringLiteral("Warm.cube")), 5));
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(row->description(), QStringLiteral("Warm.cube"));
        QVERIFY(row->isSelected());
        for (const ModeRow* mode : sidebar.modeRows())
            QVERIFY(!mode->isSelected());
        QVERIFY(!controls.slider(QStringLiteral("Tone")));
        QVERIFY(controls.slider(QStringLiteral("Intensity")));

        model->setMode(Mode::edit);
        QVERIFY(!row->isSelected());
        QVERIFY(sidebar.modeRows()[2]->isSelected());
        QTest::keyClick(row, Qt::Key_Space);
        QVERIFY(model->showingLUTFile());
        QVERIFY(row->isSelected());
        QCOMPARE(model->mode(), Mode::edit);
        model->setMode(Mode::look);
        QVERIFY(controls.slider(QStringLiteral("Tone")));
    }

    void aBrokenLUTFileIsAnAlertAndChangesNothing()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        const QString file = harness.path(QStringLiteral("Broken.cube"));
        QFile broken(file);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("LUT_3D_SIZE 2\n0 0 0\n1 1\n");
        broken.close();
        model->openLUTFile(file);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->alert().has_value());
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t read the LUT"));
        QVERIFY(model->alert()->message.contains(QStringLiteral("Broken.cube")));
        QVERIFY(!model->showingLUTFile());
        QVERIFY(!model->lutFile().has_value());
    }

    void applyToPhotosWritesTheCommandLinesBytes_data()
    {
        QTest::addColumn<bool>("lutFile");
        QTest::addColumn<double>("intensity");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<int>("format");  // the dialog's list: same, PNG, JPEG, TIFF, WebP
        QTest::newRow("LUT file") << true << 1.0 << 0.0 << 0;
        QTest::newRow("LUT file, weakened, as TIFF") << true << 0.7 << 0.0 << 3;
        QTest::newRow("LUT file, fine-tuned") << true << 1.0 << 0.4 << 0;
        QTest::newRow("look mode") << false << 1.0 << 0.0 << 0;
        QTest::newRow("look mode, fine-tuned, as JPEG") << false << 0.8 << -0.3 << 2;
    }

    void applyToPhotosWritesTheCommandLinesBytes()
    {
        QFETCH(bool, lutFile);
        QFETCH(double, intensity);
        QFETCH(double, temperature);
        QFETCH(int, format);
        ModelHarness harness;
        auto model = harness.makeModel();
        const QString lut = writeLUT(harness.path(QStringLiteral("Film.cube")), 17);
        if (lutFile)
            model->openLUTFile(lut);
        else
            model->load(harness.writePhoto(QStringLiteral("reference"), {1.0f, 0.8f, 0.6f}),
                        Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        fixtures::adjust(*model, [&](GradeRecipe::Settings& settings) {
            settings.intensity = static_cast<float>(intensity);
            settings.fineTune.temperature = static_cast<float>(temperature);
        });
        QVERIFY(waitUntilIdle(*model));
        const QStringList photos{harness.writePhoto(QStringLiteral("one"), {1, 1, 1}, 80, 50),
                                 harness.writePhoto(QStringLiteral("two"), {0.7f, 1, 0.9f})};

        ApplyPhotosDialog dialog(*model);
        dialog.addPhotos(photos);
        dialog.setFolder(harness.path(QStringLiteral("graded")));
        dialog.formatBox()->setCurrentIndex(format);
        QVERIFY(dialog.startApplying());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.batch().running(), processTimeoutMs);
        QCOMPARE(dialog.progressBar()->value(), 2);
        QVERIFY2(dialog.statusText().startsWith(QStringLiteral("Saved 2 of 2 photos.")),
                 qPrintable(dialog.statusText()));

        // The command line gets the file itself, or the LUT the window exports as .cube.
        QString cliLUT = lut;
        QStringList strength;
        if (!lutFile || temperature != 0.0) {
            cliLUT = harness.path(QStringLiteral("exported.cube"));
            model->writeLUTs(cliLUT, {LUTFormat::cube});
            QVERIFY(waitUntilIdle(*model));
        } else {
            strength << QStringLiteral("--strength") << QString::number(intensity);
        }
        const QStringList extensions{QString(), QStringLiteral("png"), QStringLiteral("jpg"),
                                     QStringLiteral("tif"), QStringLiteral("webp")};
        for (const QString& photo : photos) {
            const QString name = QFileInfo(photo).completeBaseName() + QLatin1Char('.') +
                                 (format == 0 ? QFileInfo(photo).suffix() : extensions[format]);
            const QString cliOutput = harness.path(QStringLiteral("cli-") + name);
            QCOMPARE(runCli(QStringList{QStringLiteral("apply"), cliLUT, photo,
                                        QStringLiteral("-o"), cliOutput} +
                            strength),
                     0);
            const QByteArray window = contentsOf(harness.path(QStringLiteral("graded/") + name));
            QVERIFY(!window.isEmpty());
            QVERIFY2(window == contentsOf(cliOutput), qPrintable(name));
        }
    }

    void applyToPhotosNeverReplacesAnInputOrTheLUT_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<int>("format");  // the dialog's list: same, PNG, JPEG, TIFF, WebP
        QTest::addColumn<QString>("danger");
        QTest::newRow("the photo itself") << "one.png" << 0 << "one.png";
        QTest::newRow("a loaded image") << "one.tif" << 1 << "one.png";
        QTest::newRow("the opened HALD file") << "Film.tif" << 1 << "Film.png";
    }

    void applyToPhotosNeverReplacesAnInputOrTheLUT()
    {
        QFETCH(QString, photo);
        QFETCH(int, format);
        QFETCH(QString, danger);
        ModelHarness harness;
        auto model = harness.makeModel();
        const QString one = harness.writePhoto(QStringLiteral("one"));
        QVERIFY(QFile::copy(one, harness.path(QStringLiteral("one.tif"))));
        QVERIFY(QFile::copy(one, harness.path(QStringLiteral("Film.tif"))));
        model->load(one, Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        // A HALD .png opened as a LUT file is one of the files an output could replace.
        model->openLUTFile(harness.writeHald(QStringLiteral("Film"), {1.0f, 0.9f, 0.8f}));
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->showingLUTFile());
        const QByteArray before = contentsOf(harness.path(danger));

        ApplyPhotosDialog dialog(*model);
        dialog.addPhotos({harness.path(photo)});
        dialog.setFolder(harness.path(QString()));
        dialog.formatBox()->setCurrentIndex(format);
        QVERIFY(!dialog.startApplying());
        QVERIFY2(dialog.statusText().contains(QStringLiteral("“") + danger + QStringLiteral("”")),
                 qPrintable(dialog.statusText()));
        QCOMPARE(contentsOf(harness.path(danger)), before);
        QVERIFY(!dialog.batch().running());
    }

    void aFolderStandsForThePhotosInIt()
    {
        ModelHarness harness;
        const QString a = harness.writePhoto(QStringLiteral("a"));
        const QString b = harness.writePhoto(QStringLiteral("b"));
        QFile notes(harness.path(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.close();
        const auto photos = PhotoBatch::photosIn(
            {harness.path(QString()), a, harness.path(QStringLiteral("notes.txt"))});
        QCOMPARE(photos.size(), std::size_t(2));
        QCOMPARE(photos[0], fsPath(a));
        QCOMPARE(photos[1], fsPath(b));
    }

    void aCancelledBatchStartsNoFurtherPhoto()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        PhotoBatch::Request request;
        for (const char* name : {"a", "b", "c"})
            request.photos.push_back(fsPath(harness.writePhoto(QString::fromLatin1(name))));
        request.folder = fsPath(harness.path(QStringLiteral("out")));
        request.grade = model->photoGrade();
        PhotoBatch batch;
        std::optional<PhotoBatch::Summary> summary;
        connect(&batch, &PhotoBatch::finished, this,
                [&summary](const PhotoBatch::Summary& result) { summary = result; });
        {
            // The batch waits in the pool's queue until the cancel has been asked for.
            fixtures::PoolGate gate;
            batch.start(request, PhotoBatch::plan(request));
            QVERIFY(batch.running());
            batch.cancel();
        }
        QTRY_VERIFY_WITH_TIMEOUT(summary.has_value(), processTimeoutMs);
        QVERIFY(summary->cancelled);
        QCOMPARE(summary->written, std::size_t(0));
        QCOMPARE(summary->total, std::size_t(3));
        QVERIFY(!QFileInfo::exists(harness.path(QStringLiteral("out/a.png"))));
        QVERIFY(!batch.running());
    }

    void recentFilesKeepOrderLimitAndClear()
    {
        ModelHarness harness;
        RecentFiles recent(harness.settings());
        QStringList written;
        for (int i = 0; i < 12; ++i)
            written << harness.writePhoto(QStringLiteral("photo%1").arg(i), {1, 1, 1}, 4, 4);
        for (const QString& file : written)
            recent.add(file, false);
        QStringList newestFirst;
        for (auto it = written.rbegin(); it != written.rend(); ++it)
            newestFirst << *it;
        QCOMPARE(recentPaths(recent), newestFirst.mid(0, RecentFiles::maxFiles));

        // Opening one again moves it to the front, once, with its kind.
        recent.add(written[5], true);
        QCOMPARE(recentPaths(recent).front(), written[5]);
        QCOMPARE(recentPaths(recent).count(written[5]), 1);
        QVERIFY(recent.entries().front().lut);

        // A file gone from the disk is not offered, and leaves its place to a real one.
        QVERIFY(QFile::remove(written[11]));
        QVERIFY(!recentPaths(recent).contains(written[11]));
        recent.add(written[0], false);
        QCOMPARE(recent.entries().size(), RecentFiles::maxFiles);

        // Kept in the settings for the next start.
        RecentFiles again(harness.settings());
        QCOMPARE(again.entries(), recent.entries());
        recent.clear();
        QVERIFY(recent.entries().empty());
        QVERIFY(again.entries().empty());
    }

    void theRecentMenuOffersOpenedFilesAndReopensThem()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QMainWindow window;
        installCommands(window, *model);
        auto* menu = window.findChild<QMenu*>(QStringLiteral("openRecentMenu"));
        QVERIFY(menu);
        QVERIFY(!menu->actions().front()->isEnabled());  // "No Recent Files"

        const QString photo = harness.writePhoto(QStringLiteral("beach"));
        const QString lut = writeLUT(harness.path(QStringLiteral("Dusk.cube")), 5);
        model->load(photo, Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        model->openLUTFile(lut);
        QVERIFY(waitUntilIdle(*model));
        QTRY_COMPARE(menu->actions().at(0)->text(), QStringLiteral("Dusk.cube"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("beach.png"));

        model->setMode(Mode::look);
        QVERIFY(!model->showingLUTFile());
        menu->actions().at(0)->trigger();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->showingLUTFile());

        menu->actions().back()->trigger();  // "Clear"
        QTRY_COMPARE(menu->actions().front()->text(), QStringLiteral("No Recent Files"));
    }

    void helpListsEveryShortcutOfTheMenus()
    {
        QApplication::setApplicationVersion(QStringLiteral("9.8.7"));
        ModelHarness harness;
        auto model = harness.makeModel();
        QMainWindow window;
        installCommands(window, *model);
        const auto rows = HelpMenu::shortcuts(*window.menuBar());
        const auto has = [&rows](const QString& command, const QKeySequence& keys) {
            return std::any_of(rows.begin(), rows.end(), [&](const HelpMenu::Shortcut& row) {
                return row.command == command &&
                       row.keys == keys.toString(QKeySequence::NativeText);
            });
        };
        QVERIFY(has(QStringLiteral("File › Open LUT…"), QKeySequence(Qt::CTRL | Qt::Key_L)));
        QVERIFY(has(QStringLiteral("File › Apply to Photos…"),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)));
        QVERIFY(has(QStringLiteral("Edit › Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z)));
        std::size_t withKeys = 0;
        for (const QAction* top : window.menuBar()->actions())
            for (const QAction* item : top->menu()->actions())
                withKeys += static_cast<std::size_t>(item->shortcuts().size());
        QCOMPARE(rows.size(), withKeys);
        QVERIFY(HelpMenu::aboutText().contains(QStringLiteral("Lumivert 9.8.7")));
    }
};

QTEST_MAIN(WorkbenchTests)
#include "WorkbenchTests.moc"
