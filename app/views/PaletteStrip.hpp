#pragma once
// The look's palette as a row of swatches, each as wide as its share of the colourful areas.
#include "learners/LookAnalysis.hpp"

#include <QRectF>
#include <QWidget>

#include <vector>

namespace lumivert {

class PaletteStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr int stripHeight = 26;
    static constexpr double spacing = 3.0;
    static constexpr double minimumWidth = 14.0;

    explicit PaletteStrip(QWidget* parent = nullptr);

    const std::vector<PaletteColor>& palette() const { return palette_; }
    void setPalette(std::vector<PaletteColor> palette);

    // Swatch widths for a row `width` wide: the space left by the gaps shared by weight, no
    // swatch narrower than 14. Narrow swatches are raised to 14 and the others share what
    // remains, so the row still fits whenever n × 14 and the gaps do.
    static std::vector<double> widths(const std::vector<PaletteColor>& palette, double width);
    // "NN% of the colourful areas".
    static QString helpText(float weight);

    // The swatch rectangles, computed on every change of palette or size.
    const std::vector<QRectF>& swatches() const { return swatches_; }
    // The help text of the swatch under `point`; empty between swatches.
    QString toolTipAt(QPointF point) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutSwatches();

    std::vector<PaletteColor> palette_;
    std::vector<QRectF> swatches_;
};

}  // namespace lumivert
