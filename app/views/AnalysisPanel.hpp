#pragma once
// The inspector's analysis card: the grey-axis curves and the tint wheel of the current grade,
// the histograms of the preview before and after, then the look's palette and key numbers in look
// mode, or the fit quality in edit mode; for an opened LUT file, what the file says about itself
// and what it does (the facts `info` prints).
#include "AppModel.hpp"

#include <QWidget>

#include <optional>
#include <vector>

class QGridLayout;
class QLabel;

namespace lumivert {

class Figure;
class HistogramView;
class NeutralCurvesView;
class PaletteStrip;
class TintWheelView;

class AnalysisPanel : public QWidget {
    Q_OBJECT

public:
    // One labelled value of the numbers grid.
    struct Row {
        QString label;
        QString value;
        friend bool operator==(const Row&, const Row&) = default;
    };

    explicit AnalysisPanel(AppModel& model, QWidget* parent = nullptr);

    // round(value × 100) and "%".
    static QString percent(double value);
    // The same with a leading "+" from 1 % up.
    static QString signedPercent(double value);
    // The numbers grid for a mode: the look's four numbers with an analysis in look mode, the
    // fit's two with a fit in edit mode (and the ΔE2000 of its LUT once measured), otherwise none.
    static std::vector<Row> rows(Mode mode, const std::optional<LookAnalysis>& look,
                                 const std::optional<EditFit>& fit,
                                 const std::optional<DifferenceStats>& difference = std::nullopt);

    // An opened LUT file's facts, one row each.
    static std::vector<Row> rows(const std::vector<LUTFacts::Fact>& facts);

    Figure* greyAxisFigure() const { return greyAxis_; }
    Figure* tintFigure() const { return tint_; }
    NeutralCurvesView* curvesView() const { return curves_; }
    TintWheelView* wheelView() const { return wheel_; }
    PaletteStrip* paletteStrip() const { return strip_; }
    HistogramView* histogramView() const { return histogram_; }
    // The palette caption and strip together; hidden without a palette to show.
    QWidget* paletteSection() const { return paletteSection_; }
    // The grid as shown; hidden when it has no rows.
    QWidget* numbersSection() const { return numbersSection_; }
    const std::vector<Row>& shownRows() const { return shownRows_; }

private:
    void showAnalysis();
    void showRows(std::vector<Row> rows);

    AppModel& model_;
    Figure* greyAxis_;
    Figure* tint_;
    NeutralCurvesView* curves_;
    TintWheelView* wheel_;
    HistogramView* histogram_;
    QWidget* paletteSection_;
    PaletteStrip* strip_;
    QWidget* numbersSection_;
    QGridLayout* numbers_;
    std::vector<Row> shownRows_;
};

}  // namespace lumivert
