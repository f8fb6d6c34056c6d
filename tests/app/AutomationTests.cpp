// The automation mode: the driver on a model with test services, then the real program under the
// offscreen platform, whose exit status and markers tell failure from success and whose LUTs are
// byte for byte the command line's for the same inputs and settings.
#include "AppModel.hpp"
#include "Automation.hpp"
#include "CheckedFiles.hpp"
#include "ModelFixtures.hpp"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumivert;
using fixtures::ModelHarness;

namespace {

constexpr int jobTimeoutMs = 60000;
constexpr int processTimeoutMs = 180000;

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString sample(const char* name) { return QStringLiteral(LUMIVERT_SAMPLES_DIR "/") + name; }

struct Finished {
    int exitCode = -1;  // -1: crashed or timed out
    QString errors;
};

Finished run(const QString& program, const QStringList& arguments,
             const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(processTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("timed out")};
    }
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit)
        return {-1, errors};
    return {process.exitCode(), errors};
}

}  // namespace

class AutomationTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder_.isValid());
        // The edit and HALD modes need an edited photo and a graded HALD image: both get the
        // coffee look, through the command line.
        const QString look = work(QStringLiteral("coffee.cube"));
        for (const QStringList& arguments :
             {QStringList{QStringLiteral("look"), sample("coffee.png"), QStringLiteral("-o"), look},
              QStringList{QStringLiteral("apply"), look, sample("astronaut.png"),
                          QStringLiteral("-o"), work(QStringLiteral("astronaut-graded.png"))},
              QStringList{QStringLiteral("identity-hald"), work(QStringLiteral("identity.png"))},
              QStringList{QStringLiteral("apply"), look, work(QStringLiteral("identity.png")),
                          QStringLiteral("-o"), work(QStringLiteral("graded-hald.png"))}}) {
            const Finished cli = runCli(arguments);
            QVERIFY2(cli.exitCode == 0, qPrintable(cli.errors));
        }
    }

    // The driver.

    // Values are read as the command line reads its options: a value that does not parse or
    // lies outside its range is refused with a sentence naming its variable and leaves its
    // property unchanged; the others apply.
    void settingsApplyOnlyValidValues()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        const AppModel::Environment refused{{"LUMIVERT_LOOK_SETTINGS", "0.1, 0.2,0.3"},
                                            {"LUMIVERT_GRID", "64"},
                                            {"LUMIVERT_SPLIT", " 0.3"},
                                            {"LUMIVERT_INTENSITY", "abc"},
                                            {"LUMIVERT_PREVIEW_ON", "Photo"},
                                            {"LUMIVERT_GAMUT", "Smooth"},
                                            {"LUMIVERT_FORMAT", "3dl"}};
        const QStringList problems = Automation::applySettings(*model, refused);
        QCOMPARE(problems.size(), 7);
        for (const QString& name : refused.keys())
            QVERIFY2(problems.join(QLatin1Char('\n')).contains(name), qPrintable(name));
        QCOMPARE(model->settings(), GradeRecipe::Settings{});
        QCOMPARE(model->exportSize(), 33);
        QCOMPARE(model->split(), 0.5);
        QCOMPARE(model->previewSource(), PreviewSource::testChart);
        QCOMPARE(model->exportChoice(), ExportChoice::cube);

        QCOMPARE(
            Automation::applySettings(*model, {{"LUMIVERT_LOOK_SETTINGS", "0.1, 0.2,,0.3,\t0.4 "},
                                               {"LUMIVERT_MATCH_SETTINGS", "0.5,0.25"},
                                               {"LUMIVERT_FINETUNE", "1,-1,0.5,0"},
                                               {"LUMIVERT_GRID", "+65"},
                                               {"LUMIVERT_SPLIT", "0.25"},
                                               {"LUMIVERT_INTENSITY", "1.5e0"},
                                               {"LUMIVERT_SMOOTHING", "0.1"},
                                               {"LUMIVERT_GAMUT", "smooth"},
                                               {"LUMIVERT_EXTEND", ""},
                                               {"LUMIVERT_COMPARE", "graded"},
                                               {"LUMIVERT_COMPARE_AFTER", ""},
                                               {"LUMIVERT_NAME", "Night"},
                                               {"LUMIVERT_FORMAT", "threeDL"},
                                               {"LUMIVERT_INSPECTOR", "fineTune"},
                                               {"LUMIVERT_TOAST", "Hello"}}),
            QStringList());
        QCOMPARE(model->settings().look, (LookSettings{0.1f, 0.2f, 0.3f, 0.4f}));
        QCOMPARE(model->settings().match, (MatchSettings{0.5f, 0.25f}));
        QCOMPARE(model->settings().fineTune, (FineTune{1, -1, 0.5f, 0}));
        QCOMPARE(model->exportSize(), 65);
        QCOMPARE(model->split(), 0.25);
        QCOMPARE(model->settings().intensity, 1.5f);
        QCOMPARE(model->settings().smoothing, 0.1f);
        QCOMPARE(model->settings().gamut, GamutMapping::smooth);
        QVERIFY(model->settings().extendEdit);
        QCOMPARE(model->compareStyle(), CompareStyle::graded);
        QVERIFY(model->compareWithAfter());
        QCOMPARE(model->lutName(), QStringLiteral("Night"));
        QCOMPARE(model->exportChoice(), ExportChoice::threeDL);
        QCOMPARE(model->inspectorTarget(), QStringLiteral("fineTune"));
        QCOMPARE(model->toast()->message, QStringLiteral("Hello"));
        QCOMPARE(model->toast()->url, QUrl::fromLocalFile(QStringLiteral("/")));
        // A scripted toast has no hiding timer.
        QTest::qWait(6500);
        QVERIFY(model->toast().has_value());
    }

    void exportsA3dlAndWritesItsMarkers()
    {
        ModelHarness harness;
        const QString out = harness.path(QStringLiteral("out.3dl"));
        const QString ready = harness.path(QStringLiteral("ready"));
        auto model = harness.makeModel(
            {{"LUMIVERT_CAPTURE", "1"},
             {"LUMIVERT_MODE", "match"},
             {"LUMIVERT_SOURCE", harness.writePhoto("Mine")},
             {"LUMIVERT_REFERENCE", harness.writePhoto("Theirs", {1, 0.8f, 0.6f})},
             {"LUMIVERT_GRID", "17"},
             {"LUMIVERT_EXPORT", out},
             {"LUMIVERT_READY", ready}});
        Automation automation(*model);
        QSignalSpy settled(&automation, &Automation::settled);
        QSignalSpy finished(&automation, &Automation::finished);
        automation.start();
        QCOMPARE(model->mode(), Mode::match);
        QVERIFY(automation.running());
        QVERIFY(finished.wait(jobTimeoutMs));
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QCOMPARE(settled.count(), 1);
        QVERIFY(!automation.running());
        QVERIFY(automation.failures().isEmpty());
        QCOMPARE(contentsOf(out + QStringLiteral(".done")), QByteArray("ok"));
        QCOMPARE(contentsOf(ready), QByteArray("ready"));
        // A comment, the shaper line, then one line per entry.
        QCOMPARE(contentsOf(out).count('\n'), 2 + 17 * 17 * 17);
        QVERIFY(model->matchAnalysis().has_value());
        QVERIFY(!harness.settings().contains("exportSize"));
    }

    // An export name without a LUT extension gets .cube, and its marker is that file's name
    // with ".done".
    void theMarkerNamesTheExportedFile()
    {
        ModelHarness harness;
        const QString out = harness.path(QStringLiteral("Night"));
        auto model = harness.makeModel({{"LUMIVERT_EXPORT", out}});
        Automation automation(*model);
        QSignalSpy finished(&automation, &Automation::finished);
        automation.start();
        QVERIFY(finished.wait(jobTimeoutMs));
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(QFile::exists(out + QStringLiteral(".cube")));
        QCOMPARE(contentsOf(out + QStringLiteral(".cube.done")), QByteArray("ok"));
        QVERIFY(!QFile::exists(out + QStringLiteral(".done")));
    }

    // A file that cannot be opened, images that cannot be analysed together, a value the command
    // line would refuse: the run fails with the reason (the model's alert, or a sentence naming
    // the variable), writes no LUT and no "ok", and still writes the ready marker.
    void aFailedStepFailsTheRun_data()
    {
        QTest::addColumn<QStringList>("variables");  // "NAME=value" without LUMIVERT_; PHOTO,
                                                     // WIDE, TALL, FOLDER: made by the test
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QStringList{"LOOK=FOLDER/missing.jpg"}
                                      << QStringLiteral("Couldn’t open the image: ");
        QTest::newRow("different shapes") << QStringList{"MODE=edit", "BEFORE=WIDE", "AFTER=TALL"}
                                          << QStringLiteral("Couldn’t analyse the images: ");
        const std::pair<const char*, std::vector<const char*>> hostile[] = {
            {"INTENSITY", {"nan", "inf", "7", "-3", "0,5", "1e309"}},
            {"FINETUNE", {"nan,0,0,0"}},
            {"LOOK_SETTINGS", {"1,nan,1,1"}},
            {"MATCH_SETTINGS", {"nan,1"}},
            {"GRID", {"7"}},
            {"INPUT_SPACE", {"slog9", "SRGB", ""}},
            {"OUTPUT_SPACE", {"slog3-sgamut3cine", "rec709 "}},
            {"EXPORT", {"FOLDER/", "FOLDER"}},
        };
        for (const auto& [variable, values] : hostile)
            for (const char* value : values)
                QTest::addRow("%s=%s", variable, value)
                    << QStringList{"LOOK=PHOTO", QStringLiteral("%1=%2").arg(variable, value)}
                    << QStringLiteral("LUMIVERT_") + QLatin1String(variable);
    }

    void aFailedStepFailsTheRun()
    {
        QFETCH(QStringList, variables);
        QFETCH(QString, reason);
        ModelHarness harness;
        const QString out = harness.path(QStringLiteral("out.cube"));
        const QString ready = harness.path(QStringLiteral("ready"));
        AppModel::Environment environment{{"LUMIVERT_EXPORT", out}, {"LUMIVERT_READY", ready}};
        const QMap<QString, QString> made{
            {QStringLiteral("PHOTO"), harness.writePhoto(QStringLiteral("Look"))},
            {QStringLiteral("WIDE"), harness.writePhoto(QStringLiteral("Wide"), {1, 1, 1}, 96, 48)},
            {QStringLiteral("TALL"), harness.writePhoto(QStringLiteral("Tall"), {1, 1, 1}, 48, 96)},
            {QStringLiteral("FOLDER"), harness.path(QStringLiteral("."))}};
        for (const QString& variable : variables) {
            QString value = variable.section(QLatin1Char('='), 1);
            for (auto file = made.begin(); file != made.end(); ++file)
                value.replace(file.key(), file.value());
            environment.insert(
                QStringLiteral("LUMIVERT_") + variable.section(QLatin1Char('='), 0, 0), value);
        }
        auto model = harness.makeModel(environment);
        Automation automation(*model);
        QSignalSpy finished(&automation, &Automation::finished);
        automation.start();
        QVERIFY(finished.wait(jobTimeoutMs));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(automation.failures().size(), 1);
        QVERIFY2(automation.failures()[0].contains(reason), qPrintable(automation.failures()[0]));
        if (model->alert())
            QCOMPARE(automation.failures()[0],
                     model->alert()->title + QStringLiteral(": ") + model->alert()->message);
        const QStringList written =
            QDir(harness.path(QStringLiteral(".")))
                .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(written.filter(QStringLiteral(".cube")).isEmpty(), qPrintable(written.join(u' ')));
        QVERIFY(written.filter(QStringLiteral(".done")).isEmpty());
        QCOMPARE(contentsOf(ready), QByteArray("ready"));
    }

    void onlyReadyWritesItsMarkerAboutASecondAfterIdle()
    {
        ModelHarness harness;
        const QString ready = harness.path(QStringLiteral("ready"));
        auto model = harness.makeModel({{"LUMIVERT_READY", ready}});
        QVERIFY(!model->capturing());
        Automation automation(*model);
        QElapsedTimer sinceIdle;
        connect(model.get(), &AppModel::idleChanged, this, [&] {
            if (model->idle() && !sinceIdle.isValid())
                sinceIdle.start();
        });
        QSignalSpy finished(&automation, &Automation::finished);
        automation.start();
        QVERIFY(finished.wait(jobTimeoutMs));
        QVERIFY(sinceIdle.isValid());
        QVERIFY2(sinceIdle.elapsed() >= 900, qPrintable(QString::number(sinceIdle.elapsed())));
        QCOMPARE(contentsOf(ready), QByteArray("ready"));
    }

    // Markers and screenshots go through the checked writer: another user's link in a shared
    // folder is refused and its target kept; an ordinary path is written whole.
    void markersAndScreenshotsRefuseAPlantedLink_data()
    {
        QTest::addColumn<bool>("image");
        QTest::newRow("marker") << false;
        QTest::newRow("screenshot") << true;
    }

    void markersAndScreenshotsRefuseAPlantedLink()
    {
        QFETCH(bool, image);
        if (::geteuid() != 0)
            QSKIP("only the superuser can give a link to another owner");
        const uid_t otherUser = 4321;
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("precious"));
        const QString shared = folder.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(shared));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        QFile precious(target);
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.write("old");
        precious.close();
        const QString planted = shared + QStringLiteral("/ready");
        QVERIFY(QFile::link(target, planted));
        QVERIFY(::lchown(QFile::encodeName(planted).constData(), otherUser, otherUser) == 0);
        QImage shot(8, 8, QImage::Format_RGB32);
        shot.fill(Qt::red);
        const auto write = [&](const QString& path, QString* reason) {
            return image ? CheckedFiles::savePng(shot, path, reason)
                         : CheckedFiles::write(path, QByteArrayLiteral("ready"), reason);
        };
        QString reason;
        QVERIFY(!write(planted, &reason));
        QVERIFY2(reason.contains(QStringLiteral("another user")), qPrintable(reason));
        QCOMPARE(contentsOf(target), QByteArray("old"));
        const QString plain = folder.filePath(QStringLiteral("plain"));
        QVERIFY(write(plain, nullptr));
        if (image)
            QCOMPARE(QImage(plain).pixel(3, 3), QColor(Qt::red).rgb());
        else
            QCOMPARE(contentsOf(plain), QByteArray("ready"));
    }

    void noAutomationWithoutAVariable()
    {
        QVERIFY(!Automation::isRequested({QStringLiteral("HOME"), QStringLiteral("LUMIVERTX")}));
        QVERIFY(Automation::isRequested({QStringLiteral("HOME"), QStringLiteral("LUMIVERT_")}));
        ModelHarness harness;
        auto model = harness.makeModel({{"HOME", "/tmp"}, {"LUMIVERTX", "1"}});
        Automation automation(*model);
        QSignalSpy finished(&automation, &Automation::finished);
        automation.start();
        QVERIFY(!automation.running());
        QVERIFY(!finished.wait(1500));
        QVERIFY(model->images().empty());
    }

    // The program.

    void theProgramExitsWithStatusOneWhenAStepFails_data()
    {
        QTest::addColumn<QString>("look");
        QTest::addColumn<QString>("exported");
        QTest::addColumn<QString>("title");
        QTest::newRow("missing photo")
            << work(QStringLiteral("missing.jpg")) << work(QStringLiteral("a.cube"))
            << QStringLiteral("Couldn’t open the image");
        QTest::newRow("missing folder")
            << sample("coffee.png") << work(QStringLiteral("no such folder/a.cube"))
            << QStringLiteral("Couldn’t save the LUT");
    }

    void theProgramExitsWithStatusOneWhenAStepFails()
    {
        QFETCH(QString, look);
        QFETCH(QString, exported);
        QFETCH(QString, title);
        const QString ready = work(QStringLiteral("ready-") + QTest::currentDataTag());
        const Finished app = runApp({{QStringLiteral("LUMIVERT_LOOK"), look},
                                     {QStringLiteral("LUMIVERT_EXPORT"), exported},
                                     {QStringLiteral("LUMIVERT_READY"), ready}});
        QCOMPARE(app.exitCode, 1);
        QVERIFY2(app.errors.contains(QStringLiteral("lumivert: ") + title + QStringLiteral(": ")),
                 qPrintable(app.errors));
        QVERIFY(!QFile::exists(exported));
        QVERIFY(!QFile::exists(exported + QStringLiteral(".done")));
        QCOMPARE(contentsOf(ready), QByteArray("ready"));
    }

    // Every mode with settings away from their defaults and a size other than 33. The app and
    // the command line name the same inputs; the file's extension picks its format. Without a
    // title (match) both name the LUT after the reference photo.
    void theAppWritesTheCommandLinesLUT_data()
    {
        QTest::addColumn<QStringList>("variables");  // "NAME=value", without the LUMIVERT_
        QTest::addColumn<QString>("file");
        const QString coffee = sample("coffee.png");
        const QString chelsea = sample("chelsea.png");
        const QString astronaut = sample("astronaut.png");
        const QString graded = work(QStringLiteral("astronaut-graded.png"));
        const QString hald = work(QStringLiteral("graded-hald.png"));
        QTest::newRow("look") << QStringList{"LOOK=" + coffee,     "LOOK_SETTINGS=0.6,1.2,0.9,0.25",
                                             "INTENSITY=0.8",      "FINETUNE=0.1,-0.05,0.2,0.15",
                                             "NAME=Coffee / Look", "GRID=17"}
                              << QStringLiteral("look.cube");
        QTest::newRow("match") << QStringList{"MODE=match",
                                              "SOURCE=" + chelsea,
                                              "REFERENCE=" + coffee,
                                              "MATCH_SETTINGS=0.7,1.3",
                                              "INTENSITY=1.2",
                                              "FINETUNE=-0.2,0.1,-0.3,0.3",
                                              "GRID=65"}
                               << QStringLiteral("match.cube");
        QTest::newRow("edit") << QStringList{"MODE=edit",       "BEFORE=" + astronaut,
                                             "AFTER=" + graded, "SMOOTHING=0.15",
                                             "INTENSITY=0.9",   "FINETUNE=0.3,0.2,0.1,-0.2",
                                             "NAME=Learnt",     "GRID=17"}
                              << QStringLiteral("edit.cube");
        QTest::newRow("hald") << QStringList{"MODE=hald",      "HALD=" + hald,
                                             "INTENSITY=0.75", "FINETUNE=-0.1,-0.2,0.25,0.1",
                                             "NAME=Graded",    "GRID=65"}
                              << QStringLiteral("hald.cube");
        // The other two formats; the LUT's name comes from the photo on both sides.
        QTest::newRow("look as .3dl")
            << QStringList{"LOOK=" + chelsea, "LOOK_SETTINGS=1.1,0.5,1.4,0.8", "INTENSITY=1.3",
                           "GRID=65"}
            << QStringLiteral("look.3dl");
        QTest::newRow("edit as HALD .png")
            << QStringList{"MODE=edit",       "BEFORE=" + astronaut,   "AFTER=" + graded,
                           "SMOOTHING=0.005", "FINETUNE=0,0.15,0,0.2", "GRID=65"}
            << QStringLiteral("edit.png");
    }

    void theAppWritesTheCommandLinesLUT()
    {
        QFETCH(QStringList, variables);
        QFETCH(QString, file);
        const QString fromApp = work(QStringLiteral("app-") + file);
        const QString fromCli = work(QStringLiteral("cli-") + file);
        const QString ready = fromApp + QStringLiteral(".ready");
        QMap<QString, QString> environment{{QStringLiteral("LUMIVERT_EXPORT"), fromApp},
                                           {QStringLiteral("LUMIVERT_READY"), ready}};
        // The command line's words for the same run: the mode, the inputs in the order given,
        // then each setting as its option.
        const QMap<QString, QString> options{{"LOOK_SETTINGS", "--look-settings"},
                                             {"MATCH_SETTINGS", "--match-settings"},
                                             {"SMOOTHING", "--smoothing"},
                                             {"INTENSITY", "--intensity"},
                                             {"FINETUNE", "--finetune"},
                                             {"NAME", "--title"},
                                             {"GRID", "--size"}};
        QStringList arguments{QStringLiteral("look")};
        for (const QString& variable : variables) {
            const qsizetype equals = variable.indexOf(QLatin1Char('='));
            const QString name = variable.left(equals), value = variable.mid(equals + 1);
            environment.insert(QStringLiteral("LUMIVERT_") + name, value);
            if (name == QStringLiteral("MODE"))
                arguments[0] = value;
            else
                arguments << (options.contains(name) ? options[name] + QLatin1Char('=') + value
                                                     : value);
        }
        const Finished app = runApp(environment);
        QVERIFY2(app.exitCode == 0, qPrintable(app.errors));
        QCOMPARE(contentsOf(fromApp + QStringLiteral(".done")), QByteArray("ok"));
        QCOMPARE(contentsOf(ready), QByteArray("ready"));

        const Finished cli = runCli(arguments << QStringLiteral("-o") << fromCli);
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.errors));
        const QByteArray expected = contentsOf(fromCli);
        QVERIFY(expected.size() > 1000);
        QVERIFY(contentsOf(fromApp) == expected);
    }

private:
    QString work(const QString& name) const { return folder_.filePath(name); }

    QProcessEnvironment environmentWith(const QMap<QString, QString>& variables) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : environment.keys())
            if (name.startsWith(QStringLiteral("LUMIVERT_")))
                environment.remove(name);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The user's own settings stay untouched.
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), work(QStringLiteral("config")));
        for (auto variable = variables.begin(); variable != variables.end(); ++variable)
            environment.insert(variable.key(), variable.value());
        return environment;
    }

    Finished runApp(const QMap<QString, QString>& variables) const
    {
        return run(QStringLiteral(LUMIVERT_BINARY), {}, environmentWith(variables));
    }

    Finished runCli(const QStringList& arguments) const
    {
        return run(QStringLiteral(LUMIVERT_CLI_BINARY), arguments, environmentWith({}));
    }

    QTemporaryDir folder_;
};

QTEST_MAIN(AutomationTests)
#include "AutomationTests.moc"
