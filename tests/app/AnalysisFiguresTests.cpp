#include "AnalysisPanel.hpp"
#include "Figure.hpp"
#include "HistogramView.hpp"
#include "ModelFixtures.hpp"
#include "NeutralCurvesView.hpp"
#include "PaletteStrip.hpp"
#include "TintWheelView.hpp"

#include "color/ColorMath.hpp"
#include "learners/StatusLine.hpp"

#include <QAccessible>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <numbers>
#include <numeric>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr double pixelTolerance = 1e-9;

PaletteColor swatch(int id, float weight, Lab lab = {0.6f, 0.1f, 0.05f})
{
    PaletteColor colour;
    colour.id = id;
    colour.lab = lab;
    colour.weight = weight;
    return colour;
}

TintDot dot(const QString& id, float a, float b, std::array<float, 3> colour = {0.5f, 0.5f, 0.5f})
{
    return TintDot{id, {a, b}, colour};
}

bool sameColour(const QColor& shown, const RGB& expected, double tolerance = 1.0 / 255.0)
{
    return std::abs(shown.redF() - expected.r) <= tolerance &&
           std::abs(shown.greenF() - expected.g) <= tolerance &&
           std::abs(shown.blueF() - expected.b) <= tolerance;
}

// The visible label texts of the panel's numbers grid, row by row.
QStringList shownTexts(const AnalysisPanel& panel)
{
    QStringList texts;
    for (const QLabel* label : panel.numbersSection()->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

}  // namespace

class AnalysisFiguresTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Tint wheel.

    void dotsFarOutsideAreClampedOntoTheInnerCircleInTheSameDirection()
    {
        const double radius = 60;
        const QPointF far = TintWheelView::dotOffset({0.3f, 0.4f}, radius);
        QVERIFY(std::abs(std::hypot(far.x(), far.y()) - (radius - 7)) < 1e-6);
        // (a, −b) on screen: positive b points up.
        QVERIFY(std::abs(far.x() / (radius - 7) - 0.6) < 1e-6);
        QVERIFY(std::abs(far.y() / (radius - 7) + 0.8) < 1e-6);

        const QPointF near = TintWheelView::dotOffset({0.01f, -0.02f}, radius);
        QVERIFY(std::abs(near.x() - 0.01f * radius / 0.06) < 1e-4);
        QVERIFY(std::abs(near.y() - 0.02f * radius / 0.06) < 1e-4);
        QCOMPARE(TintWheelView::dotOffset({0, 0}, radius), QPointF(0, 0));
        // A wheel smaller than a dot keeps every dot at the centre.
        QCOMPARE(TintWheelView::dotOffset({0.05f, 0}, 5), QPointF(0, 0));

        // The widget places its dots around its centre with its own radius, (122 − 2) / 2.
        TintWheelView wheel;
        wheel.resize(122, 160);
        wheel.show();
        wheel.setDots({dot("S", 0.3f, 0.4f), dot("M", 0, 0)});
        QCOMPARE(wheel.dotCentres().size(), std::size_t(2));
        QCOMPARE(wheel.dotCentres()[0],
                 QPointF(61, 80) + TintWheelView::dotOffset({0.3f, 0.4f}, 60));
        QCOMPARE(wheel.dotCentres()[1], QPointF(61, 80));
        wheel.resize(202, 202);
        QTRY_COMPARE(wheel.dotCentres()[1], QPointF(101, 101));
    }

    void dotLabelIsBlackOnLightColoursAndWhiteOnDarkOnes_data()
    {
        QTest::addColumn<float>("r");
        QTest::addColumn<float>("g");
        QTest::addColumn<float>("b");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("white") << 1.0f << 1.0f << 1.0f << QColor(Qt::black);
        QTest::newRow("black") << 0.0f << 0.0f << 0.0f << QColor(Qt::white);
        QTest::newRow("green weighs most") << 0.0f << 0.95f << 0.0f << QColor(Qt::black);
        QTest::newRow("blue weighs least") << 0.2f << 0.2f << 1.0f << QColor(Qt::white);
        QTest::newRow("just below") << 0.54f << 0.54f << 0.54f << QColor(Qt::white);
        QTest::newRow("just above") << 0.56f << 0.56f << 0.56f << QColor(Qt::black);
    }

    void dotLabelIsBlackOnLightColoursAndWhiteOnDarkOnes()
    {
        QFETCH(float, r);
        QFETCH(float, g);
        QFETCH(float, b);
        QFETCH(QColor, expected);
        QCOMPARE(TintWheelView::labelColour({r, g, b}), expected);
    }

    void ringRunsThroughThirtySevenOklabHues()
    {
        const auto& ring = TintWheelView::ringColours();
        QVERIFY(sameColour(ring.front(), ColorMath::oklabToSRGB({0.72f, 0.13f, 0})));
        QVERIFY(sameColour(ring.back(), ColorMath::oklabToSRGB({0.72f, 0.13f, 0})));
        // Colour 9 is a quarter turn at θ = −π/2: negative b.
        QVERIFY(sameColour(ring[9], ColorMath::oklabToSRGB({0.72f, 0, -0.13f}), 2.0 / 255.0));
        QCOMPARE(&TintWheelView::ringColours(), &ring);  // built once

        const QGradientStops& stops = TintWheelView::ringStops();
        QCOMPARE(stops.size(), 37);
        QCOMPARE(stops.front().first, 0.0);
        QCOMPARE(stops.back().first, 1.0);
    }

    void aDotSitsOverTheRingColourOfItsHue_data()
    {
        QTest::addColumn<double>("hue");
        QTest::newRow("positive a") << 0.0;
        QTest::newRow("positive b") << std::numbers::pi / 2;
        QTest::newRow("negative a") << std::numbers::pi;
        QTest::newRow("negative b") << -std::numbers::pi / 2;
        QTest::newRow("between") << 2.2;
    }

    void aDotSitsOverTheRingColourOfItsHue()
    {
        QFETCH(double, hue);
        // Qt's conical gradient turns counter-clockwise on screen; the stop at the dot's screen
        // angle must hold the colour of the dot's hue.
        const QPointF offset = TintWheelView::dotOffset(
            {0.03f * float(std::cos(hue)), 0.03f * float(std::sin(hue))}, 100);
        double screenAngle = std::atan2(-offset.y(), offset.x());  // counter-clockwise
        if (screenAngle < 0)
            screenAngle += 2 * std::numbers::pi;
        const double position = screenAngle / (2 * std::numbers::pi);
        const QGradientStops& stops = TintWheelView::ringStops();
        const int index = int(std::lround(position * 36));
        QVERIFY(std::abs(stops[index].first - double(index) / 36) < pixelTolerance);
        const double stopHue = 2 * std::numbers::pi * index / 36;
        const RGB expected = ColorMath::oklabToSRGB(
            {0.72f, 0.13f * float(std::cos(stopHue)), 0.13f * float(std::sin(stopHue))});
        QVERIFY(sameColour(stops[index].second, expected, 2.0 / 255.0));

        // And the painted ring agrees: just inside the rim, in the dot's direction.
        TintWheelView wheel;
        wheel.resize(202, 202);
        QImage image(wheel.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        wheel.render(&image);
        const QPointF unit = offset / std::hypot(offset.x(), offset.y());
        const QPointF rim = QPointF(101, 101) + unit * 97;
        const QColor painted = image.pixelColor(rim.toPoint());
        const RGB ofHue = ColorMath::oklabToSRGB(
            {0.72f, 0.13f * float(std::cos(hue)), 0.13f * float(std::sin(hue))});
        // The white glow has almost faded there; allow for it and the ring's interpolation.
        QVERIFY2(sameColour(painted, ofHue, 0.08),
                 qPrintable(QStringLiteral("painted %1, expected %2 %3 %4")
                                .arg(painted.name())
                                .arg(ofHue.r)
                                .arg(ofHue.g)
                                .arg(ofHue.b)));
    }

    void wheelSpeaksItsDots()
    {
        const std::vector<TintDot> dots{dot("S", 0.01f, -0.02f), dot("M", 0, 0.0049f),
                                        dot("H", -0.1234f, 0.5f)};
        QCOMPARE(TintWheelView::accessibilityValue(dots),
                 QStringLiteral("S 0.010, -0.020; M 0.000, 0.005; H -0.123, 0.500"));
        QCOMPARE(TintWheelView::accessibilityValue({}), QString());

        TintWheelView wheel;
        wheel.setDots(dots);
        QCOMPARE(wheel.accessibleName(), QStringLiteral("Tint wheel"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&wheel);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Value), TintWheelView::accessibilityValue(dots));
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Tint wheel"));
    }

    // Grey-axis curves.

    void curvesRunAcrossThePlotFromBottomToTop()
    {
        const QRectF plot = NeutralCurvesView::plotRect(QSizeF(102, 82));
        QCOMPARE(plot, QRectF(1, 1, 100, 80));
        const auto lines =
            NeutralCurvesView::polylines({{0, 0.5f, 1}, {0.5f, 0.5f, 0}, {1, 0.5f, 0.25f}}, plot);
        QCOMPARE(lines[0], QPolygonF({{1, 81}, {51, 41}, {101, 1}}));
        QCOMPARE(lines[1], QPolygonF({{1, 41}, {51, 41}, {101, 41}}));
        QCOMPARE(lines[2], QPolygonF({{1, 1}, {51, 81}, {101, 61}}));
    }

    void emptyOrSinglePointCurvesDrawOnlyTheFrame()
    {
        for (const std::vector<RGB>& curve :
             {std::vector<RGB>{}, std::vector<RGB>{{0.5f, 0.5f, 0.5f}}}) {
            for (const QPolygonF& line : NeutralCurvesView::polylines(curve, QRectF(0, 0, 10, 10)))
                QVERIFY(line.isEmpty());
            NeutralCurvesView view;
            view.resize(80, 80);
            view.setCurve(curve);
            QImage image(view.size(), QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            view.render(&image);
            QCOMPARE(image.pixelColor(30, 30), QColor(Qt::black));  // inside the frame, off grid
        }
        NeutralCurvesView view;
        view.resize(80, 80);
        view.show();
        view.setCurve({{0, 0, 0}, {1, 1, 1}});
        QCOMPARE(view.channelLines()[1].size(), 2);
        view.resize(120, 120);
        QTRY_COMPARE(view.channelLines()[1].back(), QPointF(119, 1));  // follows the size
        QCOMPARE(view.accessibleName(), QStringLiteral("Grey axis curves"));
    }

    // Palette strip.

    void paletteWidthsShareTheRowByWeight()
    {
        // Weights need not sum to 1; binary fractions keep the arithmetic exact.
        const std::vector<PaletteColor> palette{swatch(0, 0.25f), swatch(1, 0.125f),
                                                swatch(2, 0.125f)};
        const auto widths = PaletteStrip::widths(palette, 206);
        QCOMPARE(widths, (std::vector<double>{100, 50, 50}));
        QCOMPARE(std::accumulate(widths.begin(), widths.end(), 0.0) + 2 * 3, 206.0);
        QVERIFY(PaletteStrip::widths({}, 100).empty());
        QCOMPARE(PaletteStrip::widths({swatch(0, 0.4f)}, 150), std::vector<double>{150});
    }

    void narrowSwatchesKeepFourteenPointsAndTheRowStillFits()
    {
        const std::vector<PaletteColor> palette{swatch(0, 0.9f), swatch(1, 0.05f),
                                                swatch(2, 0.05f)};
        const auto widths = PaletteStrip::widths(palette, 106);
        QCOMPARE(widths[1], 14.0);
        QCOMPARE(widths[2], 14.0);
        QVERIFY(std::abs(widths[0] - (100 - 28)) < 1e-9);
        // With no room at all every swatch keeps its minimum.
        for (double width : PaletteStrip::widths(palette, 20))
            QCOMPARE(width, 14.0);
    }

    void swatchesTellTheirShareAsHelpText()
    {
        QCOMPARE(PaletteStrip::helpText(0.374f), QStringLiteral("37% of the colourful areas"));
        QCOMPARE(PaletteStrip::helpText(0.04f), QStringLiteral("4% of the colourful areas"));
        QCOMPARE(PaletteStrip::helpText(1.0f), QStringLiteral("100% of the colourful areas"));

        PaletteStrip strip;
        strip.resize(206, 26);
        QCOMPARE(strip.height(), 26);
        strip.setPalette({swatch(0, 0.5f), swatch(1, 0.25f), swatch(2, 0.25f)});
        QCOMPARE(strip.swatches().size(), std::size_t(3));
        QCOMPARE(strip.swatches()[1], QRectF(103, 0, 50, 26));
        QCOMPARE(strip.toolTipAt({10, 13}), QStringLiteral("50% of the colourful areas"));
        QCOMPARE(strip.toolTipAt({120, 13}), QStringLiteral("25% of the colourful areas"));
        QCOMPARE(strip.toolTipAt({101.5, 13}), QString());  // in a gap
        strip.setPalette({swatch(0, 0.5f), swatch(1, 0.125f), swatch(2, 0.375f)});
        QCOMPARE(strip.toolTipAt({200, 13}), QStringLiteral("38% of the colourful areas"));
    }

    // The panel.

    void percentagesRoundAndContrastIsSigned_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("signedText");
        QTest::newRow("zero") << 0.0 << "0%"
                              << "0%";
        QTest::newRow("just under half a percent") << -0.004 << "0%"
                                                   << "0%";
        QTest::newRow("one percent") << 0.01 << "1%"
                                     << "+1%";
        QTest::newRow("rounds up") << 0.126 << "13%"
                                   << "+13%";
        QTest::newRow("negative") << -0.05 << "-5%"
                                  << "-5%";
        QTest::newRow("whole") << 1.0 << "100%"
                               << "+100%";
    }

    void percentagesRoundAndContrastIsSigned()
    {
        QFETCH(double, value);
        QFETCH(QString, plain);
        QFETCH(QString, signedText);
        QCOMPARE(AnalysisPanel::percent(value), plain);
        QCOMPARE(AnalysisPanel::signedPercent(value), signedText);
    }

    void rowsDependOnTheModeAndItsResult()
    {
        LookAnalysis look;
        look.blackLevel = 0.031f;
        look.whiteLevel = 0.94f;
        look.contrast = 1.02f;
        look.saturation = 0.5f;
        using Row = AnalysisPanel::Row;
        const std::vector<Row> lookRows{{"Black point", "3%"},
                                        {"White point", "94%"},
                                        {"Contrast", "+2%"},
                                        {"Colourfulness", "50%"}};
        QCOMPARE(AnalysisPanel::rows(Mode::look, look, std::nullopt), lookRows);
        QVERIFY(AnalysisPanel::rows(Mode::look, std::nullopt, std::nullopt).empty());
        QVERIFY(AnalysisPanel::rows(Mode::match, look, std::nullopt).empty());

        const EditFit fit{LUT3D::identity(2), 1.236f, 0.417f, 1};
        const std::vector<Row> fitRows{{"Fit error", "1.24 levels"}, {"Cube covered", "41 %"}};
        QCOMPARE(AnalysisPanel::rows(Mode::edit, look, fit), fitRows);
        // Under the low-coverage threshold the status line says the share too: in the same words.
        for (const float coverage : {0.0f, 0.0049f, 0.0099f, 0.0599f, 0.0601f, 0.0999f}) {
            EditFit lowFit = fit;
            lowFit.coverage = coverage;
            const QString card = AnalysisPanel::rows(Mode::edit, look, lowFit).back().value;
            const QString status =
                QString::fromStdString(StatusLine::edit(lowFit.rmsError, coverage, false));
            QVERIFY2(status.contains(QStringLiteral("covers ") + card + QStringLiteral(" of")),
                     qPrintable(card + QStringLiteral(" | ") + status));
        }
        QVERIFY(AnalysisPanel::rows(Mode::look, std::nullopt, fit).empty());
        QVERIFY(AnalysisPanel::rows(Mode::hald, look, fit).empty());
    }

    void panelShowsOnlyTheFiguresWithoutAnAnalysis()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        panel.resize(300, 400);
        panel.show();
        QCOMPARE(panel.greyAxisFigure()->caption(), QStringLiteral("Grey axis"));
        QCOMPARE(panel.tintFigure()->caption(), QStringLiteral("Tint by tone"));
        QVERIFY(panel.greyAxisFigure()->isVisible());
        QVERIFY(panel.tintFigure()->isVisible());
        QVERIFY(!panel.paletteSection()->isVisible());
        QVERIFY(!panel.numbersSection()->isVisible());
        QVERIFY(panel.shownRows().empty());

        // The figures follow the model's grade.
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(panel.curvesView()->curve().size(), std::size_t(33));
        QCOMPARE(panel.wheelView()->dots().size(), std::size_t(3));
        // Kept square, the caption under the content.
        const QRect content = panel.greyAxisFigure()->content()->geometry();
        QCOMPARE(content.width(), content.height());
        QVERIFY(content.width() > 0);
    }

    void panelShowsThePaletteAndNumbersOfALook()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        panel.resize(300, 500);
        panel.show();
        QSignalSpy analyses(model.get(), &AppModel::lookAnalysisChanged);
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.7f, 0.4f}),
                    Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(analyses.count(), 1);
        const LookAnalysis& look = *model->lookAnalysis();
        QVERIFY(!look.palette.empty());
        QVERIFY(panel.paletteSection()->isVisible());
        QCOMPARE(panel.paletteStrip()->palette(), look.palette);
        QCOMPARE(panel.shownRows(), AnalysisPanel::rows(Mode::look, look, std::nullopt));
        QCOMPARE(shownTexts(panel),
                 QStringList({"Black point", AnalysisPanel::percent(look.blackLevel), "White point",
                              AnalysisPanel::percent(look.whiteLevel), "Contrast",
                              AnalysisPanel::signedPercent(double(look.contrast) - 1.0),
                              "Colourfulness", AnalysisPanel::percent(look.saturation)}));
        QVERIFY(panel.numbersSection()->isVisible());
        QCOMPARE(panel.wheelView()->dots(), model->tintDots());
        QCOMPARE(panel.curvesView()->curve(), model->neutralCurve());

        // Another mode without a result hides the look's sections, coming back shows them.
        model->setMode(Mode::match);
        QVERIFY(!panel.paletteSection()->isVisible());
        QVERIFY(!panel.numbersSection()->isVisible());
        model->setMode(Mode::look);
        QVERIFY(panel.paletteSection()->isVisible());
        QCOMPARE(panel.shownRows().size(), std::size_t(4));

        // Removing the photo clears the analysis and with it the sections.
        model->remove(Slot::lookReference);
        QVERIFY(!panel.paletteSection()->isVisible());
        QVERIFY(panel.shownRows().empty());
    }

    void histogramsCountThePreviewBeforeAndAfterEachGrade()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        panel.resize(300, 600);
        panel.show();
        HistogramView* view = panel.histogramView();
        QVERIFY(view->isVisible());
        QTRY_VERIFY(!view->histogram(HistogramView::original));

        QSignalSpy counted(view, &HistogramView::counted);
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.7f, 0.4f}),
                    Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        const auto matches = [&] {
            const QImage original = model->previewOriginal(), graded = model->previewGraded();
            return view->histogram(HistogramView::original) == HistogramView::countsOf(original) &&
                   view->histogram(HistogramView::graded) == HistogramView::countsOf(graded) &&
                   view->histogram(HistogramView::graded)->pixels ==
                       std::int64_t{graded.width()} * graded.height();
        };
        QTRY_VERIFY(matches());
        QVERIFY(view->histogram(HistogramView::original) != view->histogram(HistogramView::graded));
        QVERIFY(
            view->accessibleDescription().startsWith(QStringLiteral("Original: Mean luminance")));

        // A new grade is counted again; the original stays as it was.
        const std::optional<Histogram> before = view->histogram(HistogramView::original);
        const std::optional<Histogram> gradedBefore = view->histogram(HistogramView::graded);
        counted.clear();
        fixtures::adjust(*model, [](GradeRecipe::Settings& s) { s.intensity = 0.3f; });
        QVERIFY(waitUntilIdle(*model));
        QTRY_VERIFY(counted.count() > 0 && matches());
        QCOMPARE(view->histogram(HistogramView::original), before);
        QVERIFY(view->histogram(HistogramView::graded) != gradedBefore);
    }

    void histogramSummaryReadsLuminanceAndClipping_data()
    {
        QTest::addColumn<int>("black");
        QTest::addColumn<int>("grey");
        QTest::addColumn<int>("white");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all grey") << 0 << 4 << 0 << "Mean luminance 50 %, 0 % black, 0 % white";
        QTest::newRow("half black") << 2 << 2 << 0 << "Mean luminance 25 %, 50 % black, 0 % white";
        QTest::newRow("clipped both ends")
            << 1 << 2 << 1 << "Mean luminance 50 %, 25 % black, 25 % white";
    }

    void histogramSummaryReadsLuminanceAndClipping()
    {
        QFETCH(int, black);
        QFETCH(int, grey);
        QFETCH(int, white);
        QFETCH(QString, expected);
        QImage image(black + grey + white, 1, QImage::Format_RGB32);
        for (int x = 0; x < image.width(); ++x) {
            const int level = x < black ? 0 : x < black + grey ? 128 : 255;
            image.setPixel(x, 0, qRgb(level, level, level));
        }
        const std::optional<Histogram> counts = HistogramView::countsOf(image);
        QVERIFY(counts);
        QCOMPARE(HistogramView::summary(*counts), expected);
        QVERIFY(!HistogramView::countsOf(QImage()));
    }

    void drawnFiguresHaveAccessibleNames()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        panel.resize(300, 500);
        panel.show();
        model->load(harness.writePhoto(QStringLiteral("Warm"), {1, 0.7f, 0.4f}),
                    Slot::lookReference);
        QVERIFY(waitUntilIdle(*model));
        const std::vector<std::pair<QWidget*, QString>> drawn{
            {panel.greyAxisFigure(), QStringLiteral("Grey axis")},
            {panel.tintFigure(), QStringLiteral("Tint by tone")},
            {panel.curvesView(), QStringLiteral("Grey axis curves")},
            {panel.wheelView(), QStringLiteral("Tint wheel")},
            {panel.paletteStrip(), QStringLiteral("Palette")},
        };
        for (const auto& [widget, name] : drawn) {
            QAccessibleInterface* element = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(element);
            QCOMPARE(element->text(QAccessible::Name), name);
        }
    }

    void panelShowsTheFitQualityInEditMode()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        AnalysisPanel panel(*model);
        panel.resize(300, 500);
        panel.show();
        model->setMode(Mode::edit);
        model->load(harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model->load(harness.writePhoto(QStringLiteral("Cool"), {0.8f, 0.9f, 1}), Slot::editAfter);
        QVERIFY(waitUntilIdle(*model));
        QVERIFY(model->editFit().has_value());
        QVERIFY(model->editDifference().has_value());
        const EditFit& fit = *model->editFit();
        const DifferenceStats& difference = *model->editDifference();
        QCOMPARE(shownTexts(panel),
                 QStringList(
                     {"Fit error", QString::asprintf("%.2f levels", fit.rmsError), "\u0394E2000",
                      QString::asprintf("mean %.2f \u00B7 95 %% %.2f", difference.meanDeltaE,
                                        difference.percentile95DeltaE),
                      "Cube covered", QString::fromStdString(StatusLine::coverage(fit.coverage))}));
        // The figures are the preview's LUT on Before measured against After, which it learned.
        const QImage graded = model->previewGraded().convertToFormat(QImage::Format_RGBX8888);
        const Image8 gradedBefore(
            graded.width(), graded.height(),
            std::vector<std::uint8_t>(graded.constBits(),
                                      graded.constBits() + graded.sizeInBytes()));
        QCOMPARE(difference,
                 ImageDifference::measure(gradedBefore, model->images().at(Slot::editAfter).image())
                     .stats);
        QVERIFY(difference.meanDeltaE < 1.0);
        QVERIFY(difference.medianDeltaE <= difference.percentile95DeltaE);
        QVERIFY(panel.numbersSection()->isVisible());
        QVERIFY(!panel.paletteSection()->isVisible());

        // A re-fit replaces the numbers.
        QSignalSpy fits(model.get(), &AppModel::editFitChanged);
        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.smoothing = static_cast<float>(0.5); });
        QVERIFY(fits.wait(60000));
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(panel.shownRows(), AnalysisPanel::rows(Mode::edit, std::nullopt, model->editFit(),
                                                        model->editDifference()));
    }
};

QTEST_MAIN(AnalysisFiguresTests)
#include "AnalysisFiguresTests.moc"
