#include "AppModel.hpp"
#include "ModelFixtures.hpp"

#include "lut/LUTFormat.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::PoolGate;
using fixtures::waitUntilIdle;

namespace {

constexpr int jobTimeoutMs = 60000;

QString nameIn(const AppModel& model, Slot slot)
{
    const auto found = model.images().find(slot);
    return found == model.images().end() ? QString() : QString::fromStdString(found->second.name());
}

// The identity grade's diagonal: lattice input i / 32 on all three channels.
bool isIdentityDiagonal(const std::vector<RGB>& curve)
{
    if (curve.size() != 33)
        return false;
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const float expected = static_cast<float>(i) / 32.0f;
        if (std::abs(curve[i].r - expected) > 1e-5f || std::abs(curve[i].g - expected) > 1e-5f ||
            std::abs(curve[i].b - expected) > 1e-5f)
            return false;
    }
    return true;
}

// The fit the recipe makes of two photos at one smoothing, as the command line does.
EditFit recipeFit(const QString& before, const QString& after, double smoothing)
{
    const std::array<GradeRecipe::Input, 2> inputs{
        GradeRecipe::load(GradeRecipe::Slot::editBefore, QFile::encodeName(before).toStdString()),
        GradeRecipe::load(GradeRecipe::Slot::editAfter, QFile::encodeName(after).toStdString())};
    GradeRecipe::Settings settings;
    settings.smoothing = static_cast<float>(smoothing);
    return std::get<GradeRecipe::EditAnalysis>(
               GradeRecipe::analyse(GradeRecipe::Mode::edit, inputs, settings))
        .fit;
}

bool fitIs(const AppModel& model, const EditFit& expected)
{
    return model.editFit() && model.editFit()->lut == expected.lut;
}

// Closes the gate the moment `slot` is filled: after the load, before the slot's analysis.
QMetaObject::Connection closeWhenFilled(AppModel& model, Slot slot, std::optional<PoolGate>& gate)
{
    return QObject::connect(&model, &AppModel::imagesChanged, &model, [&model, slot, &gate] {
        if (!gate && model.images().contains(slot))
            gate.emplace();
    });
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class AppModelTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // State, derived values and settings.

    void freshModelShowsTheTestChartThroughTheIdentity()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QCOMPARE(model->mode(), Mode::look);
        QCOMPARE(model->previewSource(), PreviewSource::testChart);
        QVERIFY(model->lutName().isEmpty());
        QCOMPARE(model->exportChoice(), ExportChoice::cube);
        QCOMPARE(model->exportSize(), qint64{GradeRecipe::defaultExportSize});
        QCOMPARE(model->settings().intensity, GradeRecipe::intensityRange.defaultValue);
        QCOMPARE(model->settings().smoothing,
                 static_cast<float>(GradeRecipe::smoothingRange.defaultValue));
        QCOMPARE(model->split(), 0.5);
        QVERIFY(!model->capturing());
        for (Mode mode : Modes::allCases()) {
            model->setMode(mode);
            QVERIFY(!model->hasResult());
            QVERIFY(!model->statusLine());
        }
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->previewGraded().size(), QSize(1200, 800));
        QCOMPARE(model->previewOriginal().format(), QImage::Format_RGBX8888);
        QVERIFY(isIdentityDiagonal(model->neutralCurve()));
        QCOMPARE(model->tintDots().size(), std::size_t{3});
        QCOMPARE(model->tintDots()[0].id, QStringLiteral("S"));
        QVERIFY(std::abs(model->tintDots()[1].colour[1] - 0.5f) < 1e-5f);
        QVERIFY(std::abs(model->tintDots()[1].ab[0]) < 1e-4f);
    }

    void platformImageWrapsTheCoreImageWithoutCopying()
    {
        const Image8 image(2, 1, std::vector<std::uint8_t>{1, 2, 3, 255, 4, 5, 6, 255});
        QImage wrapped = platformImage(image);
        QCOMPARE(wrapped.constBits(), image.data());
        QCOMPARE(wrapped.pixel(1, 0), qRgb(4, 5, 6));
    }

    void theGradeIsTheRecipesInEveryMode()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Look"), {1, 0.8f, 0.6f}),
                    Slot::lookReference);
        model->load(harness.writePhoto(QStringLiteral("Mine")), Slot::matchSource);
        model->load(harness.writePhoto(QStringLiteral("Theirs"), {0.7f, 0.9f, 1}),
                    Slot::matchReference);
        model->load(harness.writePhoto(QStringLiteral("Before")), Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("After"), {1, 0.9f, 0.7f}), Slot::editAfter);
        model->load(harness.writeHald(QStringLiteral("Graded"), {0.9f, 1, 0.8f}), Slot::hald);
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.look = LookSettings{0.5f, 1.2f, 0.3f, 0.9f};
        });
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.match = MatchSettings{0.6f, 1.3f};
        });
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.7); });
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.1f, -0.2f, 0.3f, -0.1f};
        });
        QVERIFY(waitUntilIdle(*model));

        // Read back through the model's accessors, as a view or a script sees them.
        GradeRecipe::Results results;
        results.look = model->lookAnalysis();
        results.match = model->matchAnalysis();
        results.edit = model->editFit();
        results.hald = model->haldLUT();
        const GradeRecipe::Settings settings{model->settings().look, model->settings().match,
                                             static_cast<float>(model->settings().smoothing),
                                             static_cast<float>(model->settings().intensity),
                                             model->settings().fineTune};
        const LUT3D fineTuneOnly =
            GradeRecipe::pipeline(GradeRecipe::Mode::look, {}, settings).makeLUT(17);
        for (Mode mode : Modes::allCases()) {
            model->setMode(mode);
            QVERIFY(model->hasResult());
            const LUT3D lut = model->currentPipeline().makeLUT(17);
            QVERIFY(lut == GradeRecipe::pipeline(toRecipe(mode), results, settings).makeLUT(17));
            QVERIFY(!(lut == fineTuneOnly));
        }
    }

    // A camera input space: the chart is shown as that camera records it, rendered back for
    // "Original" (within the round trip's quantisation); the look is analysed again as the
    // frame is seen; an export names its spaces. sRGB again restores the plain chart.
    void theInputSpaceReanalysesAndShowsTheChartAsTheCameraSeesIt()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Look"), {1, 0.8f, 0.6f}),
                    Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        const LookAnalysis plain = *model->lookAnalysis();
        QSignalSpy analysed(model.get(), &AppModel::lookAnalysisChanged);
        fixtures::adjust(*model, [](GradeRecipe::Settings& s) {
            s.inputSpace = ColorSpace::slog3SGamut3Cine;
            s.outputSpace = ColorSpace::rec709;
        });
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(analysed.size(), 1);
        QVERIFY(!(model->lookAnalysis()->blackLevel == plain.blackLevel &&
                  model->lookAnalysis()->saturation == plain.saturation));
        QVERIFY(!(model->shownChart().image() == model->testChart().image()));
        const QImage chart = platformImage(model->testChart().image());
        const QImage original = model->previewOriginal();
        QCOMPARE(original.size(), chart.size());
        // Pure primaries lie beyond what the output transform can give back; on average the
        // chart comes back within a few levels.
        constexpr double roundTripLevels = 3;
        double total = 0;
        int count = 0;
        for (int y = 0; y < chart.height(); y += 7) {
            for (int x = 0; x < chart.width(); x += 7) {
                const QRgb a = original.pixel(x, y);
                const QRgb b = chart.pixel(x, y);
                total += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                         std::abs(qBlue(a) - qBlue(b));
                count += 3;
            }
        }
        QVERIFY2(total / count <= roundTripLevels, qPrintable(QString::number(total / count)));

        const QString file = harness.path(QStringLiteral("Log.cube"));
        model->writeLUTs(file, {LUTFormat::cube});
        QVERIFY(waitUntilIdle(*model));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("# Input: S-Log3 / S-Gamut3.Cine\n# Output: Rec.709\n"));
        QCOMPARE(model->toast()->message, QStringLiteral("Saved “Log.cube”"));

        // A scene-linear input's shaper fits only a .cube: the toast says what a .3dl loses.
        fixtures::adjust(*model,
                         [](GradeRecipe::Settings& s) { s.inputSpace = ColorSpace::acescg; });
        QVERIFY(waitUntilIdle(*model));
        model->writeLUTs(harness.path(QStringLiteral("Linear.3dl")), {LUTFormat::threeDL});
        QVERIFY(waitUntilIdle(*model));
        QVERIFY2(model->toast()->message.startsWith(
                     QStringLiteral("Saved “Linear.3dl”. A .3dl file holds no shaper, so its "
                                    "table takes ACEScg values")),
                 qPrintable(model->toast()->message));

        fixtures::adjust(*model, [](GradeRecipe::Settings& s) {
            s.inputSpace = ColorSpace::srgb;
            s.outputSpace = ColorSpace::srgb;
        });
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->shownChart().image() == model->testChart().image());
        QCOMPARE(model->lookAnalysis()->blackLevel, plain.blackLevel);
    }

    void equalAssignmentsNotifyNobodyButStillRebuild()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy intensity(model.get(), &AppModel::settingsChanged);
        QSignalSpy alert(model.get(), &AppModel::alertChanged);
        QSignalSpy tintDots(model.get(), &AppModel::tintDotsChanged);
        QSignalSpy curve(model.get(), &AppModel::neutralCurveChanged);
        QSignalSpy rebuilt(model.get(), &AppModel::previewRebuilt);
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(1.0); });
        QVERIFY(model->rendering());
        QVERIFY(rebuilt.wait(jobTimeoutMs));
        QCOMPARE(intensity.count(), 0);
        QCOMPARE(curve.count(), 0);     // the same curve does not redraw
        QCOMPARE(tintDots.count(), 1);  // the dots notify on every assignment
        model->setAlert(std::nullopt);
        model->setAlert(std::nullopt);
        QCOMPARE(alert.count(), 2);
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.5); });
        QCOMPARE(intensity.count(), 1);
    }

    void derivedValuesFollowModeAndSlots()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::hald);
        QCOMPARE(model->availablePreviewSources(),
                 std::vector<PreviewSource>{PreviewSource::testChart});
        model->setPreviewSource(PreviewSource::input);
        QCOMPARE(model->previewInput().name(), std::string("Test chart"));
        model->load(harness.writePhoto(QStringLiteral("Extra")), Slot::preview);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->availablePreviewSources(),
                 (std::vector<PreviewSource>{PreviewSource::testChart, PreviewSource::photo}));
        QCOMPARE(model->previewSource(), PreviewSource::photo);
        QCOMPARE(model->previewInput().name(), std::string("Extra"));
        QCOMPARE(model->defaultPreviewSource(), PreviewSource::photo);

        model->setMode(Mode::match);
        QCOMPARE(model->previewSource(), PreviewSource::input);
        QCOMPARE(model->previewInput().name(), std::string("Test chart"));  // empty key slot
        QCOMPARE(model->dropTargetSlot(), Slot::matchSource);
        model->load(harness.writePhoto(QStringLiteral("Reference")), Slot::matchReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->dropTargetSlot(), Slot::matchSource);
        QCOMPARE(model->suggestedName(), QStringLiteral("Reference Match"));
        model->load(harness.writePhoto(QStringLiteral("Source")), Slot::matchSource);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->dropTargetSlot(), Slot::matchSource);
        QVERIFY(model->hasResult());
        QCOMPARE(model->statusLine(), QStringLiteral("Matching “Source” to “Reference”"));
        QCOMPARE(model->availablePreviewSources(),
                 (std::vector<PreviewSource>{PreviewSource::input, PreviewSource::testChart,
                                             PreviewSource::photo}));

        // A slot reloading a new file counts as empty while it loads.
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Before")), Slot::editBefore);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->dropTargetSlot(), Slot::editAfter);
        // A small file may finish inside load(): watch the loading set as it is announced.
        std::optional<Slot> targetWhileLoading;
        const auto watch = connect(model.get(), &AppModel::loadingChanged, this, [&] {
            if (model->loading().contains(Slot::editBefore))
                targetWhileLoading = model->dropTargetSlot();
        });
        model->load(harness.writePhoto(QStringLiteral("Before again")), Slot::editBefore);
        QVERIFY(waitUntilIdle(*model));
        disconnect(watch);
        QCOMPARE(targetWhileLoading, std::optional<Slot>(Slot::editBefore));
        QCOMPARE(model->dropTargetSlot(), Slot::editAfter);
    }

    void editComparisonShowsTheRealAfterUnderFourConditions()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.9f, 0.8f}), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->originalLabel(), QStringLiteral("Original"));
        model->setCompareWithAfter(true);
        QCOMPARE(model->originalLabel(), QStringLiteral("Your edit"));
        QCOMPARE(model->originalImage().constBits(),
                 model->images().at(Slot::editAfter).image().data());
        model->setPreviewSource(PreviewSource::testChart);
        QCOMPARE(model->originalLabel(), QStringLiteral("Original"));
        model->setPreviewSource(PreviewSource::input);

        // Away from edit mode and back: the comparison resets and the preview shows the input.
        model->setMode(Mode::look);
        model->setMode(Mode::edit);
        QVERIFY(!model->compareWithAfter());
        QCOMPARE(model->previewSource(), PreviewSource::input);
        QVERIFY(model->hasResult());
        QVERIFY(model->statusLine()->startsWith(QStringLiteral("Fit error ")));
    }

    void autoNameRespectsATypedNameAndResumesWhenCleared()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Alpha")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->lutName(), QStringLiteral("Alpha Look"));
        model->load(harness.writePhoto(QStringLiteral("Beta")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->lutName(), QStringLiteral("Beta Look"));  // still the model's own name
        model->setLutName(QStringLiteral("Mine"));
        model->load(harness.writePhoto(QStringLiteral("Gamma")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->lutName(), QStringLiteral("Mine"));
        model->setLutName(QString());
        model->load(harness.writePhoto(QStringLiteral("Delta")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->lutName(), QStringLiteral("Delta Look"));
        QVERIFY(model->lookAnalysis().has_value());
        QVERIFY(model->statusLine().has_value());

        // Another mode without its input drops the automatic name rather than keep a stale one;
        // back in the mode, its input names the LUT again. A typed name stays throughout.
        model->setMode(Mode::hald);
        QVERIFY(model->lutName().isEmpty());
        model->setMode(Mode::look);
        QCOMPARE(model->lutName(), QStringLiteral("Delta Look"));
        model->setLutName(QStringLiteral("Mine"));
        model->setMode(Mode::hald);
        QCOMPARE(model->lutName(), QStringLiteral("Mine"));
    }

    void resetAdjustmentsRestoresStrengthsAndRefits()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.look = LookSettings{0.1f, 0.2f, 0.3f, 0.4f};
        });
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.match = MatchSettings{0.5f, 0.6f};
        });
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.3); });
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.1f, 0.2f, 0.3f, 0.4f};
        });
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Cool"), {0.8f, 0.9f, 1}), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy fits(model.get(), &AppModel::editFitChanged);
        model->resetAdjustments();
        QCOMPARE(model->settings().look, LookSettings{});
        QCOMPARE(model->settings().look.tone, 0.8f);
        QCOMPARE(model->settings().match, (MatchSettings{1, 1}));
        QCOMPARE(model->settings().smoothing,
                 static_cast<float>(GradeRecipe::smoothingRange.defaultValue));
        QCOMPARE(model->settings().intensity, 1.0f);
        QVERIFY(model->settings().fineTune.isNeutral());
        QVERIFY(fits.wait(jobTimeoutMs));  // the smoothness was already 0.02
    }

    void exportSettingsPersistUnlessCapturing()
    {
        ModelHarness harness;
        {
            auto model = harness.makeModel();
            model->setExportChoice(ExportChoice::all);
            model->setExportSize(65);
        }
        QCOMPARE(harness.settings().value("exportChoice").toString(), QStringLiteral("all"));
        {
            auto model = harness.makeModel();
            QCOMPARE(model->exportChoice(), ExportChoice::all);
            QCOMPARE(model->exportSize(), 65);
        }
        harness.settings().setValue("exportSize", 64);
        harness.settings().setValue("exportChoice", "3dl");
        {
            auto model = harness.makeModel();
            QCOMPARE(model->exportSize(), 33);
            QCOMPARE(model->exportChoice(), ExportChoice::cube);
        }
        harness.settings().setValue("exportChoice", "threeDL");
        harness.settings().setValue("exportSize", 17);
        {
            auto model = harness.makeModel({{"LUMIVERT_CAPTURE", ""}});
            QVERIFY(model->capturing());
            QCOMPARE(model->exportChoice(), ExportChoice::cube);
            QCOMPARE(model->exportSize(), 33);
            model->setExportChoice(ExportChoice::hald);
            model->setExportSize(65);
        }
        QCOMPARE(harness.settings().value("exportChoice").toString(), QStringLiteral("threeDL"));
        QCOMPARE(harness.settings().value("exportSize").toInt(), 17);
    }

    void theLastModeIsRestoredUnlessCapturing()
    {
        ModelHarness harness;
        {
            auto model = harness.makeModel();
            QCOMPARE(model->mode(), Mode::look);
            model->setMode(Mode::hald);
        }
        QCOMPARE(harness.settings().value("mode").toString(), Modes::rawValue(Mode::hald));
        QCOMPARE(harness.makeModel()->mode(), Mode::hald);
        {
            auto model = harness.makeModel({{"LUMIVERT_CAPTURE", ""}});
            QCOMPARE(model->mode(), Mode::look);
            model->setMode(Mode::edit);
        }
        QCOMPARE(harness.settings().value("mode").toString(), Modes::rawValue(Mode::hald));
        harness.settings().setValue("mode", "no such mode");
        QCOMPARE(harness.makeModel()->mode(), Mode::look);
    }

    // Loading and analysis.

    void aNewerLoadOfASlotWinsAndAStaleFailureStillAlerts()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy images(model.get(), &AppModel::imagesChanged);
        QString nameWhenCleared;
        bool sawLoading = false;
        // Watched through the signal rather than read after load() returns: a job that is
        // already done when its continuation is attached is stored at once.
        connect(model.get(), &AppModel::loadingChanged, this, [&] {
            if (model->loading().contains(Slot::lookReference))
                sawLoading = true;
            else
                nameWhenCleared = nameIn(*model, Slot::lookReference);
        });
        model->load(harness.path(QStringLiteral("missing.png")), Slot::lookReference);
        model->load(harness.writePhoto(QStringLiteral("Second")), Slot::lookReference);
        QVERIFY(sawLoading);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(nameWhenCleared, QStringLiteral("Second"));
        QVERIFY(model->alert().has_value());
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t open the image"));
        QVERIFY(model->alert()->message.contains(QStringLiteral("missing.png")));
        QCOMPARE(images.count(), 1);

        // Two good files: the first one's result is dropped without a trace.
        images.clear();
        model->load(harness.writePhoto(QStringLiteral("Third")), Slot::lookReference);
        model->load(harness.writePhoto(QStringLiteral("Fourth")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(images.count(), 1);
        QCOMPARE(nameIn(*model, Slot::lookReference), QStringLiteral("Fourth"));
        QCOMPARE(model->loadJob(Slot::lookReference).started(), 4);
    }

    void aFailedLoadKeepsThePreviousImage()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Kept")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QFile notAnImage(harness.path(QStringLiteral("text.png")));
        QVERIFY(notAnImage.open(QIODevice::WriteOnly));
        notAnImage.write("not an image");
        notAnImage.close();
        model->load(notAnImage.fileName(), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(nameIn(*model, Slot::lookReference), QStringLiteral("Kept"));
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t open the image"));
    }

    void beforeImageSwitchesTheChartToTheInputButAfterDoesNot()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("After")), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->previewSource(), PreviewSource::testChart);
        QCOMPARE(model->lutName(), QStringLiteral("After Edit"));
        model->load(harness.writePhoto(QStringLiteral("Before")), Slot::editBefore);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->previewSource(), PreviewSource::input);
        QVERIFY(model->editFit().has_value());  // analysed although the mode is look
    }

    void differentShapesAlertAndKeepNoFit()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Wide"), {1, 1, 1}, 96, 48),
                    Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Tall"), {1, 1, 1}, 48, 96), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(!model->editFit().has_value());
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t analyse the images"));
        QCOMPARE(model->busy(), 0);
    }

    void removingTheReferenceClearsTheMatchAndRebuildsThroughTheIdentity()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::match);
        model->load(harness.writePhoto(QStringLiteral("Mine")), Slot::matchSource);
        model->load(harness.writePhoto(QStringLiteral("Theirs"), {1, 0.7f, 0.5f}),
                    Slot::matchReference);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->matchAnalysis().has_value());
        QVERIFY(!isIdentityDiagonal(model->neutralCurve()));
        model->remove(Slot::matchReference);
        QVERIFY(!model->matchAnalysis().has_value());
        QVERIFY(!model->hasResult());
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(isIdentityDiagonal(model->neutralCurve()));
    }

    void removingTheShownPreviewPhotoFallsBackPerMode_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<PreviewSource>("expected");
        QTest::newRow("look") << Mode::look << PreviewSource::testChart;
        QTest::newRow("match") << Mode::match << PreviewSource::input;
        QTest::newRow("edit") << Mode::edit << PreviewSource::input;
        QTest::newRow("hald") << Mode::hald << PreviewSource::testChart;
    }

    void removingTheShownPreviewPhotoFallsBackPerMode()
    {
        QFETCH(Mode, mode);
        QFETCH(PreviewSource, expected);
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(mode);
        model->load(harness.writePhoto(QStringLiteral("Extra")), Slot::preview);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->previewSource(), PreviewSource::photo);
        model->remove(Slot::preview);
        QCOMPARE(model->previewSource(), expected);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(!model->previewGraded().isNull());
    }

    // Jobs that come back too late. A pool gate holds the workers, so that a job is certainly
    // still queued when the test acts.

    void aRemovedInputStaysRemovedWhateverItsJobsBringBack_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<Slot>("removed");
        QTest::addColumn<bool>("whileAnalysing");  // else while its file loads
        QTest::newRow("look photo loading") << Mode::look << Slot::lookReference << false;
        QTest::newRow("look photo analysed") << Mode::look << Slot::lookReference << true;
        QTest::newRow("reference loading") << Mode::match << Slot::matchReference << false;
        QTest::newRow("reference analysed") << Mode::match << Slot::matchReference << true;
        QTest::newRow("after analysed") << Mode::edit << Slot::editAfter << true;
        QTest::newRow("graded HALD loading") << Mode::hald << Slot::hald << false;
    }

    void aRemovedInputStaysRemovedWhateverItsJobsBringBack()
    {
        QFETCH(Mode, mode);
        QFETCH(Slot, removed);
        QFETCH(bool, whileAnalysing);
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(mode);
        for (Slot slot : Modes::slots(mode))
            if (slot != removed)
                model->load(harness.writePhoto(QStringLiteral("Kept")), slot);
        QVERIFY(waitUntilIdle(*model));
        const QString file = removed == Slot::hald
                                 ? harness.writeHald(QStringLiteral("Graded"), {1, 0.8f, 0.6f})
                                 : harness.writePhoto(QStringLiteral("Removed"), {1, 0.8f, 0.6f});
        std::optional<PoolGate> gate;
        if (whileAnalysing) {
            const auto watch = closeWhenFilled(*model, removed, gate);
            model->load(file, removed);
            QTRY_VERIFY_WITH_TIMEOUT(gate.has_value(), jobTimeoutMs);
            disconnect(watch);
            QCOMPARE(model->busy(), 1);
        } else {
            gate.emplace();
            model->load(file, removed);
        }
        model->remove(removed);
        // Analysed again with the input missing: the analysis returns early and clears.
        model->analyse(mode);
        gate->releaseAll();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(!model->images().contains(removed));
        QVERIFY(!model->hasResult());
        QVERIFY(!model->statusLine());
        QVERIFY(isIdentityDiagonal(model->neutralCurve()));
    }

    void anOlderSlowerAnalysisNeverReplacesTheNewerPhotosResult()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        // The old photo is large, so its analysis is still running when the new one's ends.
        const QString older =
            harness.writePhoto(QStringLiteral("Old"), {1, 0.8f, 0.6f}, 1600, 1200);
        const QString newer = harness.writePhoto(QStringLiteral("New"), {0.7f, 0.9f, 1});
        std::optional<PoolGate> gate;
        const auto watch = closeWhenFilled(*model, Slot::lookReference, gate);
        model->load(older, Slot::lookReference);
        QTRY_VERIFY_WITH_TIMEOUT(gate.has_value(), jobTimeoutMs);
        disconnect(watch);
        QCOMPARE(model->busy(), 1);
        // One worker takes the old analysis; the new load and its analysis go to the other.
        gate->releaseOne();
        model->load(newer, Slot::lookReference);
        gate->releaseAll();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->analysisJob(Mode::look).ran(), 2);

        const std::array<GradeRecipe::Input, 1> input{GradeRecipe::load(
            GradeRecipe::Slot::lookReference, QFile::encodeName(newer).toStdString())};
        const auto expected = std::get<LookAnalysis>(
            GradeRecipe::analyse(GradeRecipe::Mode::look, input, GradeRecipe::Settings{}));
        QCOMPARE(nameIn(*model, Slot::lookReference), QStringLiteral("New"));
        QVERIFY(model->lookAnalysis().has_value());
        QVERIFY(*model->lookAnalysis() == expected);
    }

    void aRefitOfTheOldPairNeverReplacesTheNewPairsFit()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::edit);
        const QString before = harness.writePhoto(QStringLiteral("Plain"));
        const QString newAfter = harness.writePhoto(QStringLiteral("Cool"), {0.75f, 0.9f, 1});
        model->load(before, Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f}), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        std::optional<PoolGate> gate;
        closeWhenFilled(*model, Slot::editAfter, gate);  // the old after is still in place
        model->load(newAfter, Slot::editAfter);
        QTRY_VERIFY_WITH_TIMEOUT(gate.has_value(), jobTimeoutMs);
        QCOMPARE(model->busy(), 1);  // the new pair's preparation waits…
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.3); });
        QTRY_COMPARE(model->busy(), 2);  // …and behind it a refit of the old pair
        // One worker: the new pair's fit comes back first, then the old pair's refit.
        gate->releaseOne();
        const EditFit expected = recipeFit(before, newAfter, 0.3);
        QTRY_VERIFY_WITH_TIMEOUT(fitIs(*model, expected), jobTimeoutMs);
        gate->releaseAll();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(fitIs(*model, expected));
    }

    void theFirstFitUsesTheSmoothingSetWhileItWasPrepared()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::edit);
        const QString before = harness.writePhoto(QStringLiteral("Plain"));
        const QString after = harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f});
        model->load(before, Slot::editBefore);
        QVERIFY(waitUntilIdle(*model));
        std::optional<PoolGate> gate;
        closeWhenFilled(*model, Slot::editAfter, gate);
        model->load(after, Slot::editAfter);
        QTRY_VERIFY_WITH_TIMEOUT(gate.has_value(), jobTimeoutMs);
        fixtures::adjust(
            *model, [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.004); });
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.25); });
        gate->releaseAll();
        const EditFit expected = recipeFit(before, after, 0.25);
        QTRY_VERIFY_WITH_TIMEOUT(fitIs(*model, expected), jobTimeoutMs);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(fitIs(*model, expected));
    }

    void theLaterOfTwoExportsToOneNameIsTheOneOnDisk()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, 0, 0, 0};
        });
        QVERIFY(waitUntilIdle(*model));
        const QString file = harness.path(QStringLiteral("Twice.cube"));
        PoolGate gate;
        // The earlier export is the slower one: run side by side, it would end last.
        model->setExportSize(65);
        harness.panels().answers.push_back(file);
        model->exportLUT();
        model->setExportSize(17);
        harness.panels().answers.push_back(file);
        model->exportLUT();
        gate.releaseAll();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(contentsOf(file).contains("LUT_3D_SIZE 17"));
        QCOMPARE(model->toast()->message, QStringLiteral("Saved “Twice.cube”"));
    }

    void aDraggedSliderBakesOnlyTheLastPreview()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Amber"), {1, 0.8f, 0.6f}),
                    Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        const std::int64_t bakedBefore = model->previewJob().ran();
        PoolGate gate;
        // A drag at sixty steps a second: each step outlasts the preview's pause.
        int steps = 0;
        QTimer drag;
        drag.setInterval(16);
        connect(&drag, &QTimer::timeout, this, [&] {
            fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
                s.intensity = static_cast<float>(++steps / 100.0);
            });
            if (steps == 50)
                drag.stop();
        });
        drag.start();
        QTRY_COMPARE_WITH_TIMEOUT(steps, 50, jobTimeoutMs);
        gate.releaseAll();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->previewJob().ran() - bakedBefore, 1);

        GradeRecipe::Results results;
        results.look = model->lookAnalysis();
        GradeRecipe::Settings settings;
        settings.intensity = 0.5f;
        const LUT3D expected = GradeRecipe::pipeline(GradeRecipe::Mode::look, results, settings)
                                   .makeLUT(GradeRecipe::previewLatticeSize);
        QCOMPARE(model->neutralCurve().size(), std::size_t(expected.size()));
        for (std::int64_t i = 0; i < expected.size(); ++i)
            QCOMPARE(model->neutralCurve()[std::size_t(i)], expected(i, i, i));
    }

    void smoothnessBurstRefitsOnceAndNothingWithoutASystem()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy busy(model.get(), &AppModel::busyChanged);
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.5); });
        QVERIFY(!busy.wait(400));
        QVERIFY(!model->editFit().has_value());

        model->setMode(Mode::edit);
        const QString before = harness.writePhoto(QStringLiteral("Plain"));
        const QString after = harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f});
        model->load(before, Slot::editBefore);
        model->load(after, Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy fits(model.get(), &AppModel::editFitChanged);
        for (int step = 1; step <= 10; ++step)
            fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
                s.smoothing = static_cast<float>(0.01 * step);
            });
        QVERIFY(fits.wait(jobTimeoutMs));
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(!fits.wait(400));
        QCOMPARE(fits.count(), 1);
        QCOMPARE(model->analysisJob(Mode::edit).ran(), 1);  // no second prepare
        // The drag's last value is the one fitted.
        QVERIFY(fitIs(*model, recipeFit(before, after, 0.1)));
    }

    void idleNotifiesBothWaysAndCoversTheRefitsPause()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(!model->idle());  // the first preview is rendering
        QSignalSpy idle(model.get(), &AppModel::idleChanged);
        QVERIFY(idle.wait(jobTimeoutMs));
        QVERIFY(model->idle());

        // Every notification is a change: the values alternate and end idle.
        idle.clear();
        std::vector<bool> seen;
        connect(model.get(), &AppModel::idleChanged, this, [&] { seen.push_back(model->idle()); });
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f}), Slot::editAfter);
        QTRY_VERIFY_WITH_TIMEOUT(!seen.empty() && seen.back(), jobTimeoutMs);
        QVERIFY(model->editFit().has_value());
        for (std::size_t i = 0; i < seen.size(); ++i)
            QCOMPARE(seen[i], i % 2 == 1);

        // A new smoothing re-fits only after a pause; the pause already counts as work.
        seen.clear();
        QSignalSpy fits(model.get(), &AppModel::editFitChanged);
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.3); });
        QCOMPARE(model->busy(), 0);
        QVERIFY(!model->idle());
        QCOMPARE(seen, std::vector<bool>{false});
        QTRY_VERIFY_WITH_TIMEOUT(model->idle(), jobTimeoutMs);
        QCOMPARE(fits.count(), 1);
        QCOMPARE(seen.back(), true);
    }

    void aBurstOfSettingsEndsOnTheLastState()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        QSignalSpy rebuilt(model.get(), &AppModel::previewRebuilt);
        for (int step = 0; step <= 20; ++step)
            fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
                s.fineTune = FineTune{0, 0, 0, -0.05f * static_cast<float>(step)};
            });
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(rebuilt.count() < 21);
        // Saturation −1 leaves only grey: every tint dot has no chroma left.
        QVERIFY(std::abs(model->tintDots()[2].ab[0]) < 1e-3f);
        const QRgb chartPixel = model->previewGraded().pixel(100, 100);
        QVERIFY(std::abs(qRed(chartPixel) - qGreen(chartPixel)) <= 2);
        QVERIFY(std::abs(qGreen(chartPixel) - qBlue(chartPixel)) <= 2);
    }

    void chooseImageAsksWithTheSlotsTitleAndHint()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        harness.panels().answers.push_back(std::nullopt);
        model->chooseImage(Slot::matchSource);
        QCOMPARE(harness.panels().imageMessages.back(),
                 QStringLiteral("Your photo: The photo you want to change"));
        QVERIFY(model->loading().empty());
        harness.panels().answers.push_back(harness.writePhoto(QStringLiteral("Chosen")));
        model->chooseImage(Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(nameIn(*model, Slot::lookReference), QStringLiteral("Chosen"));
    }

    void openPanelStartsWhereTheLastImageCameFrom()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        // Before any image, the last export folder; then the folder of the last image opened,
        // also one that came by a drop; a new model reads it back.
        harness.settings().setValue("exportDirectory", QUrl::fromLocalFile(harness.path("out")));
        harness.panels().answers.push_back(std::nullopt);
        model->chooseImage(Slot::lookReference);
        QCOMPARE(harness.panels().imageFolders.back(), harness.path("out"));

        QDir(harness.path(QString())).mkpath(QStringLiteral("shoot"));
        const QString photo = harness.writePhoto(QStringLiteral("shoot/Dawn"));
        model->load(photo, Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        harness.panels().answers.push_back(std::nullopt);
        model->chooseImage(Slot::preview);
        QCOMPARE(harness.panels().imageFolders.back(), harness.path("shoot"));

        // A file that fails to open moves nothing.
        model->load(harness.path("missing/none.png"), Slot::preview);
        QVERIFY(waitUntilIdle(*model));
        auto again = harness.makeModel();
        harness.panels().answers.push_back(std::nullopt);
        again->chooseImage(Slot::lookReference);
        QCOMPARE(harness.panels().imageFolders.back(), harness.path("shoot"));
    }

    // Export, template and toasts.

    void exportAllWritesThreeFilesAndOneToast()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->load(harness.writePhoto(QStringLiteral("Teal")), Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        model->setExportChoice(ExportChoice::all);
        model->setExportSize(17);
        harness.panels().answers.push_back(harness.path(QStringLiteral("out/Teal.cube")));
        QVERIFY(QDir(harness.path(QString())).mkdir(QStringLiteral("out")));
        QSignalSpy toasts(model.get(), &AppModel::toastChanged);
        model->exportLUT();
        QCOMPARE(model->busy(), 1);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(toasts.count(), 1);
        QCOMPARE(model->toast()->message,
                 QStringLiteral("Saved “Teal.cube”, “Teal.3dl”, “Teal.png”"));
        QCOMPARE(model->toast()->url, QUrl::fromLocalFile(harness.path("out/Teal.cube")));
        for (const char* name : {"out/Teal.cube", "out/Teal.3dl", "out/Teal.png"})
            QVERIFY2(QFileInfo::exists(harness.path(name)), name);
        QVERIFY(contentsOf(harness.path("out/Teal.cube")).contains("LUT_3D_SIZE 17"));
        const auto& request = harness.panels().saveRequests.back();
        QCOMPARE(request.title, QStringLiteral("Export LUT"));
        QCOMPARE(request.proposedName, QStringLiteral("Teal Look.cube"));
        QCOMPARE(request.message,
                 QStringLiteral("Saves .cube, .3dl and HALD .png files with this name."));
        QVERIFY(harness.panels().questions.empty());  // nothing was there to replace
        model->revealToastFile();
        QCOMPARE(harness.panels().revealed, QStringList{harness.path("out/Teal.cube")});

        // The next export starts in the folder of this one.
        harness.panels().answers.push_back(std::nullopt);
        model->exportLUT();
        QCOMPARE(QDir(harness.panels().saveRequests.back().startFolder),
                 QDir(harness.path(QStringLiteral("out"))));
    }

    // One read-only file stops the whole export before any file changes; the alert names it.
    void aReadOnlyFileKeepsEveryFormatOfAnExportAsItWas()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, 0, 0, 0};
        });
        model->setExportChoice(ExportChoice::all);
        const QString cube = harness.path(QStringLiteral("Teal.cube"));
        const QString threeDL = harness.path(QStringLiteral("Teal.3dl"));
        for (const QString& name : {cube, threeDL}) {
            QFile older(name);
            QVERIFY(older.open(QIODevice::WriteOnly));
            older.write("older");
        }
        QVERIFY(QFile::setPermissions(threeDL, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        harness.panels().answers.push_back(cube);
        harness.panels().confirmations.push_back(true);
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->alert().has_value());
        QCOMPARE(model->alert()->title, QString::fromUtf8(GradeRecipe::saveLUTFailedTitle));
        QCOMPARE(model->alert()->message, QStringLiteral("“Teal.3dl” is read-only."));
        QCOMPARE(contentsOf(cube), QByteArray("older"));
        QCOMPARE(contentsOf(threeDL), QByteArray("older"));
        QVERIFY(!QFileInfo::exists(harness.path(QStringLiteral("Teal.png"))));
        QVERIFY(!model->toast().has_value());
    }

    void anExportAsksBeforeReplacingALoadedImageOrAnotherFile()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::hald);
        const QString hald = harness.writeHald(QStringLiteral("Teal"), {0.8f, 1, 1});
        model->load(hald, Slot::hald);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->lutName(), QStringLiteral("Teal"));
        model->setExportChoice(ExportChoice::all);
        const QByteArray graded = contentsOf(hald);
        const QString chosen = harness.path(QStringLiteral("Teal.cube"));
        auto& panels = harness.panels();

        // Declined, nothing is written.
        panels.answers.push_back(chosen);
        panels.confirmations.push_back(false);
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(panels.questions.size(), std::size_t{1});
        QCOMPARE(panels.questions.back().title, QStringLiteral("Replace the existing file?"));
        QCOMPARE(panels.questions.back().message,
                 QStringLiteral("“Teal.png” is an input and would be replaced."));
        QCOMPARE(panels.questions.back().acceptLabel, QStringLiteral("Replace"));
        QVERIFY(!QFileInfo::exists(chosen));
        QVERIFY(!QFileInfo::exists(harness.path(QStringLiteral("Teal.3dl"))));
        QCOMPARE(contentsOf(hald), graded);
        QVERIFY(!model->toast().has_value());

        // Another file in the way is named too; accepted, all three are written.
        QFile older(harness.path(QStringLiteral("Teal.3dl")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older");
        older.close();
        panels.answers.push_back(chosen);
        panels.confirmations.push_back(true);
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(panels.questions.size(), std::size_t{2});
        QCOMPARE(panels.questions.back().title, QStringLiteral("Replace existing files?"));
        QCOMPARE(panels.questions.back().message,
                 QStringLiteral("“Teal.3dl” already exists and would be replaced. “Teal.png” is "
                                "an input and would be replaced."));
        QCOMPARE(model->toast()->message,
                 QStringLiteral("Saved “Teal.cube”, “Teal.3dl”, “Teal.png”"));
        QVERIFY(contentsOf(older.fileName()) != QByteArray("older"));
        QVERIFY(contentsOf(hald) != graded);

        // The chosen file alone is not asked about again: the save panel did.
        model->remove(Slot::hald);
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.1f, 0, 0, 0};
        });
        model->setExportChoice(ExportChoice::cube);
        panels.answers.push_back(chosen);
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(panels.questions.size(), std::size_t{2});
        QCOMPARE(model->toast()->message, QStringLiteral("Saved “Teal.cube”"));
    }

    void proposedNamesAreSanitisedButTitlesAreNot()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, 0, 0, 0};
        });
        model->setLutName(QStringLiteral("A/B:C"));
        harness.panels().answers.push_back(harness.path(QStringLiteral("abc.cube")));
        model->exportLUT();
        QCOMPARE(harness.panels().saveRequests.back().proposedName, QStringLiteral("A-B-C.cube"));
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(contentsOf(harness.path("abc.cube")).contains("A/B:C"));

        model->setLutName(QString());
        model->setExportChoice(ExportChoice::threeDL);
        harness.panels().answers.push_back(std::nullopt);
        model->exportLUT();
        QCOMPARE(harness.panels().saveRequests.back().proposedName,
                 QStringLiteral("Lumivert Look.3dl"));
        QVERIFY(harness.panels().saveRequests.back().message.isEmpty());
    }

    void emptyNameIsTheDefaultTitle()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0, 0.1f, 0, 0};
        });
        harness.panels().answers.push_back(harness.path(QStringLiteral("plain.cube")));
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(contentsOf(harness.path("plain.cube")).contains("Lumivert Look"));
    }

    void nothingToExportUntilAResultOrAFineTune()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Before")), Slot::editBefore);
        QVERIFY(waitUntilIdle(*model));
        model->exportLUT();
        QCOMPARE(model->alert()->title, QStringLiteral("Nothing to export yet"));
        QCOMPARE(model->alert()->message, QStringLiteral("Add a before and an after photo first."));
        QVERIFY(harness.panels().saveRequests.empty());
        model->setMode(Mode::match);
        model->exportLUT();
        QCOMPARE(model->alert()->message,
                 QStringLiteral("Add your photo and a reference look first."));

        model->setMode(Mode::edit);
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0, 0, 0.3f, 0};
        });
        harness.panels().answers.push_back(harness.path(QStringLiteral("tuned.cube")));
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(QFileInfo::exists(harness.path(QStringLiteral("tuned.cube"))));
    }

    void exportFolderIsRememberedWhenTheWriteFails()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, 0, 0, 0};
        });
        harness.panels().answers.push_back(harness.path(QStringLiteral("gone/x.cube")));
        model->exportLUT();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t save the LUT"));
        QVERIFY(!model->toast().has_value());
        QCOMPARE(harness.settings().value("exportDirectory").toUrl(),
                 QUrl::fromLocalFile(harness.path(QStringLiteral("gone"))));
    }

    void identityTemplateIsSavedWithAToast()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        harness.panels().answers.push_back(harness.path(QStringLiteral("Identity HALD 8.png")));
        model->saveIdentityHALD();
        QCOMPARE(harness.panels().saveRequests.back().proposedName,
                 QStringLiteral("Identity HALD 8.png"));
        QTRY_VERIFY_WITH_TIMEOUT(model->toast().has_value(), jobTimeoutMs);
        QCOMPARE(model->toast()->message,
                 QStringLiteral("Saved “Identity HALD 8.png”. Grade it, then drop it on the "
                                "HALD well."));
        const QImage saved(harness.path(QStringLiteral("Identity HALD 8.png")));
        QCOMPARE(saved.size(), QSize(512, 512));
        QVERIFY(saved.depth() == 64 || saved.format() == QImage::Format_RGBX64);

        // Loading it back as a graded HALD gives an identity table of 64 points.
        model->setMode(Mode::hald);
        model->load(harness.path(QStringLiteral("Identity HALD 8.png")), Slot::hald);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->statusLine(), QStringLiteral("HALD level 8 · 64-point cube"));
        QCOMPARE(model->lutName(), QStringLiteral("Identity HALD 8"));

        harness.panels().answers.push_back(harness.path(QStringLiteral("nowhere/t.png")));
        model->saveIdentityHALD();
        QTRY_VERIFY_WITH_TIMEOUT(model->alert().has_value(), jobTimeoutMs);
        QCOMPARE(model->alert()->title, QStringLiteral("Couldn’t save the HALD image"));
    }

    // Access by name through Qt's meta-object system.

    void enumPropertiesReadAndWriteByNameAndNotifyLikeTheSetters_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("initial");
        QTest::addColumn<QVariant>("other");
        QTest::addColumn<QString>("otherKey");
        QTest::newRow("mode") << QByteArray("mode") << QVariant::fromValue(Mode::look)
                              << QVariant::fromValue(Mode::edit) << QStringLiteral("edit");
        QTest::newRow("previewSource")
            << QByteArray("previewSource") << QVariant::fromValue(PreviewSource::testChart)
            << QVariant::fromValue(PreviewSource::input) << QStringLiteral("input");
        QTest::newRow("compareStyle")
            << QByteArray("compareStyle") << QVariant::fromValue(CompareStyle::split)
            << QVariant::fromValue(CompareStyle::graded) << QStringLiteral("graded");
        QTest::newRow("exportChoice")
            << QByteArray("exportChoice") << QVariant::fromValue(ExportChoice::cube)
            << QVariant::fromValue(ExportChoice::threeDL) << QStringLiteral("threeDL");
    }

    void enumPropertiesReadAndWriteByNameAndNotifyLikeTheSetters()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, initial);
        QFETCH(QVariant, other);
        QFETCH(QString, otherKey);
        ModelHarness harness;
        auto model = harness.makeModel();
        const QMetaProperty property =
            model->metaObject()->property(model->metaObject()->indexOfProperty(name));
        QVERIFY(property.isValid() && property.isWritable() && property.hasNotifySignal());
        QVERIFY(property.isEnumType());
        QCOMPARE(property.enumerator().valueToKey(other.toInt()), otherKey.toLatin1());
        QSignalSpy changes(model.get(), property.notifySignal());
        QCOMPARE(model->property(name), initial);

        QVERIFY(model->setProperty(name, initial));
        QCOMPARE(changes.count(), 0);  // an equal value notifies nobody
        QVERIFY(model->setProperty(name, other));
        QCOMPARE(model->property(name), other);
        QCOMPARE(changes.count(), 1);
        QVERIFY(model->setProperty(name, other));
        QCOMPARE(changes.count(), 1);
        // The key text works too, as from a settings file or a script.
        QVERIFY(model->setProperty(name, initial));
        QVERIFY(model->setProperty(name, otherKey));
        QCOMPARE(model->property(name), other);
        QCOMPARE(changes.count(), 3);
    }

    void enumsNameEveryCaseByItsRawValue()
    {
        const QMetaEnum slots = QMetaEnum::fromType<Slot>();
        QCOMPARE(slots.keyCount(), int(Slots::allCases().size()));
        for (Slot slot : Slots::allCases())
            QCOMPARE(QString::fromLatin1(slots.valueToKey(int(slot))), Slots::rawValue(slot));
        const QMetaEnum modes = QMetaEnum::fromType<Mode>();
        for (Mode mode : Modes::allCases())
            QCOMPARE(QString::fromLatin1(modes.valueToKey(int(mode))), Modes::rawValue(mode));
        const QMetaEnum choices = QMetaEnum::fromType<ExportChoice>();
        for (ExportChoice choice : ExportChoices::allCases())
            QCOMPARE(QString::fromLatin1(choices.valueToKey(int(choice))),
                     ExportChoices::rawValue(choice));
    }

    void optionalRecordsArePropertiesThatAreInvalidWhenAbsent()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(!model->property("alert").isValid());
        QVERIFY(!model->property("toast").isValid());
        QVERIFY(!model->property("inspectorTarget").isValid());

        // The alert notifies on every assignment, equal or not, as its setter does.
        QSignalSpy alerts(model.get(), &AppModel::alertChanged);
        const AlertInfo alert{QUuid::createUuid(), QStringLiteral("Title"), QStringLiteral("Text")};
        QVERIFY(model->setProperty("alert", QVariant::fromValue(alert)));
        QVERIFY(model->setProperty("alert", QVariant::fromValue(alert)));
        QCOMPARE(alerts.count(), 2);
        QCOMPARE(model->alert(), alert);
        const QVariant read = model->property("alert");
        const QMetaObject& gadget = AlertInfo::staticMetaObject;
        QCOMPARE(gadget.property(gadget.indexOfProperty("title")).readOnGadget(read.constData()),
                 QVariant(QStringLiteral("Title")));
        QVERIFY(model->setProperty("alert", QVariant()));
        QVERIFY(!model->alert().has_value());
        QCOMPARE(alerts.count(), 3);
        QVERIFY(model->setProperty("alert", QStringLiteral("not an alert")));
        QVERIFY(!model->alert().has_value());

        QSignalSpy targets(model.get(), &AppModel::inspectorTargetChanged);
        QVERIFY(model->setProperty("inspectorTarget", QStringLiteral("export")));
        QVERIFY(model->setProperty("inspectorTarget", QStringLiteral("export")));
        QCOMPARE(targets.count(), 1);
        QCOMPARE(model->inspectorTarget(), QStringLiteral("export"));
        QVERIFY(model->setProperty("inspectorTarget", QVariant()));
        QVERIFY(!model->inspectorTarget().has_value());
        QCOMPARE(targets.count(), 2);

        QSignalSpy toasts(model.get(), &AppModel::toastChanged);
        const Toast toast{QUuid::createUuid(), QStringLiteral("Saved"), std::nullopt};
        QVERIFY(model->setProperty("toast", QVariant::fromValue(toast)));
        QVERIFY(model->setProperty("toast", QVariant::fromValue(toast)));
        QCOMPARE(toasts.count(), 1);
        const QMetaObject& toastGadget = Toast::staticMetaObject;
        const QVariant shown = model->property("toast");
        QCOMPARE(toastGadget.property(toastGadget.indexOfProperty("hasUrl"))
                     .readOnGadget(shown.constData()),
                 QVariant(false));
        QCOMPARE(toastGadget.property(toastGadget.indexOfProperty("message"))
                     .readOnGadget(shown.constData()),
                 QVariant(QStringLiteral("Saved")));
    }

    void summariesFollowTheModelsFields()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(model->property("neutralCurve").toList().size(), 33);
        const QVariantList dots = model->property("tintDots").toList();
        QCOMPARE(dots.size(), 3);
        QCOMPARE(dots.front().value<TintDot>().id, QStringLiteral("S"));
        QCOMPARE(model->property("settings")
                     .toMap()
                     .value("lookSettings")
                     .toMap()
                     .value("tone")
                     .toFloat(),
                 0.8f);
        QVERIFY(!model->property("lookAnalysis").isValid());

        QSignalSpy images(model.get(),
                          model->metaObject()
                              ->property(model->metaObject()->indexOfProperty("images"))
                              .notifySignal());
        model->load(harness.writePhoto(QStringLiteral("Amber"), {1, 0.8f, 0.6f}),
                    Slot::lookReference);
        QCOMPARE(model->property("loading").toStringList(), QStringList{"lookReference"});
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(images.count(), 1);
        QCOMPARE(model->property("images").toMap().value("lookReference").toString(),
                 QStringLiteral("Amber"));
        const QVariantMap analysis = model->property("lookAnalysis").toMap();
        QCOMPARE(analysis.value("whiteLevel").toFloat(), model->lookAnalysis()->whiteLevel);
        QVERIFY(model->property("loading").toStringList().isEmpty());
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.25f, 0, 0, 0};
        });
        QCOMPARE(model->property("settings")
                     .toMap()
                     .value("fineTune")
                     .toMap()
                     .value("temperature")
                     .toFloat(),
                 0.25f);
    }

    void aToastHidesItselfSixSecondsAfterTheNewestOne()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QElapsedTimer clock;
        clock.start();
        model->showToast(QStringLiteral("First"), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!model->toast().has_value(), 8000);
        QVERIFY(clock.elapsed() >= 5500);

        // A second toast four seconds into the first's life keeps its full six seconds.
        clock.restart();
        model->showToast(QStringLiteral("First"), std::nullopt);
        qint64 secondShownAt = -1;
        QTimer::singleShot(4000, model.get(), [&] {
            secondShownAt = clock.elapsed();
            model->showToast(QStringLiteral("Second"), QUrl::fromLocalFile("/tmp/Second.cube"));
        });
        QTRY_VERIFY_WITH_TIMEOUT(secondShownAt >= 0, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!model->toast().has_value(), 8000);
        QVERIFY2(clock.elapsed() >= secondShownAt + 5500,
                 qPrintable(QStringLiteral("hidden at %1 ms, second shown at %2 ms")
                                .arg(clock.elapsed())
                                .arg(secondShownAt)));
    }
};

QTEST_MAIN(AppModelTests)
#include "AppModelTests.moc"
