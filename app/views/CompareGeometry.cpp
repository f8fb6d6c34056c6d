#include "CompareGeometry.hpp"

#include <algorithm>
#include <cmath>

namespace lumivert::CompareGeometry {

QRectF fittedRect(const QSizeF& image, const QRectF& available)
{
    if (image.width() <= 0 || image.height() <= 0 || available.width() <= 0 ||
        available.height() <= 0)
        return {};
    const double scale =
        std::min(available.width() / image.width(), available.height() / image.height());
    const QSizeF fitted(image.width() * scale, image.height() * scale);
    const QPointF topLeft(available.center().x() - fitted.width() / 2,
                          available.center().y() - fitted.height() / 2);
    return {topLeft, fitted};
}

double splitAt(double x, const QRectF& imageRect)
{
    if (!(imageRect.width() > 0))
        return 0;
    return std::clamp((x - imageRect.left()) / imageRect.width(), 0.0, 1.0);
}

double splitLineX(double split, const QRectF& imageRect)
{
    return imageRect.left() + std::clamp(split, 0.0, 1.0) * imageRect.width();
}

QString accessibleValue(CompareStyle style, double split)
{
    switch (style) {
    case CompareStyle::split: break;
    case CompareStyle::original: return QStringLiteral("Original");
    case CompareStyle::graded: return QStringLiteral("With LUT");
    case CompareStyle::difference: return QStringLiteral("Difference");
    case CompareStyle::sideBySide: return QStringLiteral("Side by side");
    }
    const auto percent = static_cast<long long>(std::trunc(split * 100));
    return QStringLiteral("Split at %1 percent").arg(percent);
}

}  // namespace lumivert::CompareGeometry
