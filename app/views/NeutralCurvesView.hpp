#pragma once
// The grey-axis plot: the grade's red, green and blue output along equally spaced grey inputs,
// over a frame with a quarter grid and the identity diagonal.
#include "color/Triples.hpp"

#include <QPolygonF>
#include <QWidget>

#include <array>
#include <vector>

namespace lumivert {

class NeutralCurvesView : public QWidget {
    Q_OBJECT

public:
    explicit NeutralCurvesView(QWidget* parent = nullptr);

    const std::vector<RGB>& curve() const { return curve_; }
    void setCurve(std::vector<RGB> curve);

    // The plot area: the widget's rectangle inset by one point.
    static QRectF plotRect(QSizeF size);
    // One polyline per channel (red, green, blue) across `plot`, point i at x = i / (count − 1)
    // and the channel value from bottom to top; empty polylines for fewer than two points.
    static std::array<QPolygonF, 3> polylines(const std::vector<RGB>& curve, const QRectF& plot);

    // What paintEvent draws, computed on every change of curve or size.
    const std::array<QPolygonF, 3>& channelLines() const { return lines_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutLines();

    std::vector<RGB> curve_;
    std::array<QPolygonF, 3> lines_;
};

}  // namespace lumivert
