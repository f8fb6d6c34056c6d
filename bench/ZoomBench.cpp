// The zoomed preview of a 24-megapixel photo: pans at 1:1 (back and forth, and over ground never
// shown before), each from the drag's step to the repainted comparison (the cells of the
// full-size photo that come on screen cropped and graded, then all drawn), in split style. The
// photo is loaded through the model and decoded at full size before timing starts. Its own
// program: the widgets need a QApplication, which the model benchmark's QCoreApplication would
// rule out.
#include "AppModel.hpp"
#include "CompareView.hpp"
#include "PreviewPane.hpp"

#include "imaging/ImageLoader.hpp"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace lumivert;

constexpr int photoWidth = 6000;
constexpr int photoHeight = 4000;
constexpr QSize paneSize(1100, 800);
constexpr int panSteps = 40;
constexpr double panStep = 37;  // logical pixels per mouse move, a brisk drag

QApplication& application()
{
    static int argc = 1;
    static char name[] = "lumivert-zoom-bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Noise over a gradient, so that neither the PNG coder nor the renderer gets an easy image.
QString writePhoto(const QTemporaryDir& folder)
{
    std::mt19937 random(17);
    std::uniform_real_distribution<float> noise(-0.08f, 0.08f);
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(photoWidth) * photoHeight);
    for (int y = 0; y < photoHeight; ++y)
        for (int x = 0; x < photoWidth; ++x) {
            const float u = static_cast<float>(x) / (photoWidth - 1);
            const float v = static_cast<float>(y) / (photoHeight - 1);
            const float n = noise(random);
            pixels.push_back(RGB{std::clamp(0.1f + 0.8f * u + n, 0.0f, 1.0f),
                                 std::clamp(0.2f + 0.6f * v - n, 0.0f, 1.0f),
                                 std::clamp(0.5f * (u + v) + n, 0.0f, 1.0f)});
        }
    const QString file = folder.filePath("photo.png");
    ImageLoader::writePNG(PixelBuffer(photoWidth, photoHeight, std::move(pixels)),
                          QFile::encodeName(file).toStdString(), false);
    return file;
}

// Times each step of a drag at 1:1 on the photo, `next` giving the step (the image's move, in
// logical pixels) from the view as it stands.
void timePans(benchmark::State& state, const std::function<QPointF(const CompareView&)>& next)
{
    application();
    QTemporaryDir folder;
    QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
    AppModel::Services services;
    services.settings = &settings;
    services.environment = AppModel::Environment{};
    AppModel model(services);
    model.load(writePhoto(folder), Slot::lookReference);
    const auto idle = [&] { return model.idle(); };
    if (!QTest::qWaitFor(idle, 300000))
        std::abort();
    model.setPreviewSource(PreviewSource::input);
    if (!QTest::qWaitFor(idle, 300000))
        std::abort();

    PreviewPane pane(model);
    pane.resize(paneSize);
    pane.show();
    CompareView* view = pane.compareView();
    view->zoomToActualSize();
    if (!QTest::qWaitFor([&] { return view->showsFullResolution(); }, 300000))
        std::abort();

    std::vector<double> times;
    for (auto _ : state) {
        const QPointF step = next(*view);
        const auto start = std::chrono::steady_clock::now();
        view->panBy(step);
        view->repaint();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    if (!view->showsFullResolution())
        std::abort();  // figures of the stand-in would say nothing about the detail
    // The pans that bring new cells on screen cost a crop and a grade; the others only a repaint.
    std::sort(times.begin(), times.end());
    state.counters["median ms"] = times[times.size() / 2];
    state.counters["p95 ms"] = times[times.size() * 95 / 100];
    state.counters["slowest ms"] = times.back();
}

void BM_PanAtActualSize(benchmark::State& state)
{
    // Back and forth across the photo, so that the view keeps leaving the ground shown before.
    int step = 0;
    timePans(state, [&step](const CompareView&) {
        const double direction = (step++ / panSteps) % 2 == 0 ? -1 : 1;
        return QPointF(direction * panStep, direction * panStep / 2);
    });
}
BENCHMARK(BM_PanAtActualSize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(400);

void BM_PanOverNewGround(benchmark::State& state)
{
    // Rows, as one reads: across to an edge, a view's height down, back across to the other
    // edge, so that every step brings pixels on screen that were never graded.
    double across = -panStep;
    int downSteps = 0;
    timePans(state, [&](const CompareView& view) {
        if (downSteps > 0) {
            --downSteps;
            return QPointF(0, -panStep);
        }
        const QRectF image = view.imageRect();
        const bool atEdge = across < 0 ? image.right() <= view.width() : image.left() >= 0;
        if (!atEdge)
            return QPointF(across, 0);
        across = -across;
        downSteps = static_cast<int>(view.height() / panStep);
        return QPointF(0, -panStep);
    });
}
BENCHMARK(BM_PanOverNewGround)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(400);

}  // namespace
