#pragma once
// The tint wheel: the grade's tint at three grey levels drawn as dots over a ring of hues, a dot
// at (a, b) sitting over the ring's colour of that hue.
#include "AppTypes.hpp"

#include <QColor>
#include <QGradientStops>
#include <QWidget>

#include <array>
#include <vector>

namespace lumivert {

class TintWheelView : public QWidget {
    Q_OBJECT

public:
    static constexpr int ringColourCount = 37;
    static constexpr double dotRadius = 7.0;
    static constexpr double fullScaleChroma = 0.06;  // a chroma that reaches the rim

    explicit TintWheelView(QWidget* parent = nullptr);

    const std::vector<TintDot>& dots() const { return dots_; }
    void setDots(std::vector<TintDot> dots);

    // Colour i is Oklab (0.72, 0.13 cos θ, 0.13 sin θ) at θ = −2π i / 36, in sRGB. Built once.
    static const std::array<QColor, ringColourCount>& ringColours();
    // The ring as stops of a QConicalGradient starting at 3 o'clock.
    static const QGradientStops& ringStops();
    // Disc radius for a widget size: (min(width, height) − 2) / 2.
    static double radius(QSizeF size);
    // A dot's offset from the centre on screen: (a, −b) × radius / 0.06, no longer than
    // radius − 7.
    static QPointF dotOffset(const std::array<float, 2>& ab, double radius);
    // Black on light dots (0.3 R + 0.6 G + 0.1 B above 0.55), white on dark ones.
    static QColor labelColour(const std::array<float, 3>& colour);
    // "S 0.010, -0.020; M …": each dot's id and its a and b.
    static QString accessibilityValue(const std::vector<TintDot>& dots);

    // Where paintEvent draws each dot, computed on every change of dots or size.
    const std::vector<QPointF>& dotCentres() const { return dotCentres_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeDots();

    std::vector<TintDot> dots_;
    std::vector<QPointF> dotCentres_;
};

}  // namespace lumivert
