#pragma once
// The histograms of the preview's original and graded images, one above the other: red, green
// and blue as added light, luminance as a white line. They are counted in the background
// whenever the preview changes; the newest preview wins.
#include "AppModel.hpp"
#include "LatestJob.hpp"

#include "imaging/Histogram.hpp"

#include <QPainterPath>
#include <QWidget>

#include <array>
#include <optional>

namespace lumivert {

class HistogramView : public QWidget {
    Q_OBJECT

public:
    enum Side { original, graded, sideCount };

    explicit HistogramView(AppModel& model, QWidget* parent = nullptr);

    // The counts shown for a side; none before the first count or without an image.
    const std::optional<Histogram>& histogram(Side side) const
    {
        return histograms_[static_cast<std::size_t>(side)];
    }
    // A packed 8-bit image's counts; none for a null image.
    static std::optional<Histogram> countsOf(const QImage& image);
    // "Mean luminance 45 %, 2 % black, 0 % white", for assistive technology.
    static QString summary(const Histogram& histogram);

    QSize sizeHint() const override;

Q_SIGNALS:
    // New counts are shown.
    void counted();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Pair {
        std::optional<Histogram> original;
        std::optional<Histogram> graded;
    };
    // The channels' outlines in a unit square, y up from the bottom; cached per count.
    struct Shapes {
        std::array<QPainterPath, Histogram::channelCount> channels;
    };

    void count();
    void show(const Pair& pair);
    static Shapes shapesOf(const Histogram& histogram);

    AppModel& model_;
    LatestJob counting_;
    std::array<std::optional<Histogram>, sideCount> histograms_;
    std::array<Shapes, sideCount> shapes_;
};

}  // namespace lumivert
