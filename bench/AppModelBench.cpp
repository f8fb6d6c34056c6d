// The preview following a dragged slider: from the assignment of a setting to the stored graded
// preview of a 1600 × 1067 photo (10 ms pause, 33-point bake, render, figures), driven through
// the model in look and match modes; and a burst of 100 assignments, counting the renders.
#include "AppModel.hpp"

#include "imaging/ImageLoader.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace lumivert;

constexpr int photoWidth = 1600;
constexpr int photoHeight = 1067;
constexpr int burst = 100;

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "lumivert-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A photo, a model with its own settings file, and the images of both modes loaded.
struct Fixture {
    QTemporaryDir folder;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<AppModel> model;

    explicit Fixture(Mode mode)
    {
        application();
        settings =
            std::make_unique<QSettings>(folder.filePath("settings.ini"), QSettings::IniFormat);
        AppModel::Services services;
        services.settings = settings.get();
        services.environment = AppModel::Environment{};
        model = std::make_unique<AppModel>(services);
        model->setMode(mode);
        model->load(writePhoto("mine", {1, 1, 1}), Slot::matchSource);
        model->load(writePhoto("look", {1, 0.8f, 0.6f}), Slot::matchReference);
        model->load(writePhoto("look", {1, 0.8f, 0.6f}), Slot::lookReference);
        model->setPreviewSource(PreviewSource::input);
        waitUntilIdle();
    }

    QString writePhoto(const char* name, RGB tint)
    {
        std::vector<RGB> pixels;
        pixels.reserve(static_cast<std::size_t>(photoWidth) * photoHeight);
        for (int y = 0; y < photoHeight; ++y)
            for (int x = 0; x < photoWidth; ++x) {
                const float u = static_cast<float>(x) / (photoWidth - 1);
                const float v = static_cast<float>(y) / (photoHeight - 1);
                pixels.push_back(RGB{u, v, 0.5f * (1 - u * v)} * tint);
            }
        const QString file = folder.filePath(QString::fromUtf8(name) + ".png");
        ImageLoader::writePNG(PixelBuffer(photoWidth, photoHeight, std::move(pixels)),
                              QFile::encodeName(file).toStdString(), false);
        return file;
    }

    void waitUntilIdle()
    {
        const bool idle = QTest::qWaitFor(
            [&] { return model->loading().empty() && model->busy() == 0 && !model->rendering(); },
            120000);
        if (!idle)
            std::abort();  // a model that never settles would make every figure meaningless
    }

    // Runs the event loop until the next stored preview.
    void waitForPreview()
    {
        QEventLoop loop;
        QObject::connect(model.get(), &AppModel::previewRebuilt, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

void BM_SettingToPreview(benchmark::State& state)
{
    Fixture fixture(static_cast<Mode>(state.range(0)));
    GradeRecipe::Settings settings = fixture.model->settings();
    for (auto _ : state) {
        settings.intensity = settings.intensity == 1.0f ? 0.9f : 1.0f;
        fixture.model->setSettings(settings);
        fixture.waitForPreview();
    }
    state.SetLabel(state.range(0) == static_cast<int>(Mode::look) ? "look" : "match");
}
BENCHMARK(BM_SettingToPreview)
    ->Arg(static_cast<int>(Mode::look))
    ->Arg(static_cast<int>(Mode::match))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_BurstOfAssignments(benchmark::State& state)
{
    Fixture fixture(Mode::look);
    int renders = 0;
    QObject::connect(fixture.model.get(), &AppModel::previewRebuilt, [&] { ++renders; });
    for (auto _ : state) {
        for (int step = 0; step < burst; ++step) {
            GradeRecipe::Settings settings = fixture.model->settings();
            settings.fineTune = FineTune{0.002f * static_cast<float>(step), 0, 0, 0};
            fixture.model->setSettings(settings);
        }
        fixture.waitUntilIdle();
    }
    state.counters["renders per burst"] =
        static_cast<double>(renders) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BurstOfAssignments)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
