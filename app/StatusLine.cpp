#include "StatusLine.hpp"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace lumivert::StatusLine {

namespace {
constexpr float liftedBlack = 0.02f;
constexpr float softWhite = 0.97f;
constexpr float contrastTolerance = 0.04f;
constexpr float mutedSaturation = 0.85f;
constexpr float monochromeSaturation = 0.25f;
constexpr float richSaturation = 1.15f;
constexpr float castLength = 0.008f;
constexpr float excellentFit = 1.5f;
constexpr float goodFit = 3;
constexpr float fairFit = 6;

QString verdict(float rmsError)
{
    if (rmsError < excellentFit)
        return QStringLiteral("excellent");
    if (rmsError < goodFit)
        return QStringLiteral("good");
    if (rmsError < fairFit)
        return QStringLiteral("fair");
    return QStringLiteral("poor: local edits or a different crop cannot be captured by a LUT");
}
}  // namespace

QString look(const LookAnalysis& analysis)
{
    QStringList phrases;
    if (analysis.blackLevel > liftedBlack)
        phrases << QStringLiteral("blacks lifted");
    if (analysis.whiteLevel < softWhite)
        phrases << QStringLiteral("soft highlights");
    if (std::abs(analysis.contrast - 1) > contrastTolerance)
        phrases << (analysis.contrast > 1 ? QStringLiteral("more contrast")
                                          : QStringLiteral("less contrast"));
    if (analysis.saturation < mutedSaturation)
        phrases << (analysis.saturation < monochromeSaturation ? QStringLiteral("monochrome")
                                                               : QStringLiteral("muted colour"));
    else if (analysis.saturation > richSaturation)
        phrases << QStringLiteral("rich colour");
    float largestCast = 0;
    for (const Chroma& tint : analysis.tints)
        largestCast = std::max(largestCast, std::sqrt(tint.a * tint.a + tint.b * tint.b));
    if (largestCast > castLength)
        phrases << QStringLiteral("colour cast");
    if (phrases.isEmpty())
        return QStringLiteral("A near-neutral look");
    return QStringLiteral("Look: ") + phrases.join(QStringLiteral(", "));
}

QString match(const QString& sourceName, const QString& referenceName)
{
    return QStringLiteral("Matching “%1” to “%2”").arg(sourceName, referenceName);
}

QString edit(float rmsError)
{
    return QStringLiteral("Fit error %1 levels (%2)")
        .arg(QString::asprintf("%.1f", static_cast<double>(rmsError)), verdict(rmsError));
}

QString hald(std::int64_t lutSize)
{
    const auto level = std::llround(std::sqrt(static_cast<double>(lutSize)));
    return QStringLiteral("HALD level %1 · %2-point cube").arg(level).arg(lutSize);
}

}  // namespace lumivert::StatusLine
