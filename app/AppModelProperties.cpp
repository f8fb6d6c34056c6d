// The QVariant faces of the model's properties, for Qt's access by name. They only convert;
// every write goes through the C++ setter, so notification and side effects are the same.
#include "AppModel.hpp"

namespace lumivert {

namespace {

QVariantList listOf(const RGB& colour) { return {colour.r, colour.g, colour.b}; }

// Optional records: an invalid QVariant is none.
template <typename Value> QVariant variantOf(const std::optional<Value>& value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

}  // namespace

QVariant AppModel::toastVariant() const { return variantOf(toast_); }

void AppModel::setToastVariant(const QVariant& toast)
{
    if (!toast.isValid())
        setToast(std::nullopt);
    else if (toast.metaType() == QMetaType::fromType<Toast>())
        setToast(toast.value<Toast>());
}

QVariant AppModel::alertVariant() const { return variantOf(alert_); }

void AppModel::setAlertVariant(const QVariant& alert)
{
    if (!alert.isValid())
        setAlert(std::nullopt);
    else if (alert.metaType() == QMetaType::fromType<AlertInfo>())
        setAlert(alert.value<AlertInfo>());
}

QVariant AppModel::inspectorTargetVariant() const { return variantOf(inspectorTarget_); }

void AppModel::setInspectorTargetVariant(const QVariant& target)
{
    if (!target.isValid())
        setInspectorTarget(std::nullopt);
    else if (target.metaType() == QMetaType::fromType<QString>())
        setInspectorTarget(target.toString());
}

QVariantMap AppModel::imagesSummary() const
{
    QVariantMap summary;
    for (const auto& [slot, image] : images_)
        summary.insert(Slots::rawValue(slot), QString::fromStdString(image.name()));
    return summary;
}

QStringList AppModel::loadingSummary() const
{
    QStringList slots;
    for (Slot slot : loading_)
        slots << Slots::rawValue(slot);
    return slots;
}

QVariantMap AppModel::lookSettingsSummary() const
{
    return {{QStringLiteral("tone"), lookSettings_.tone},
            {QStringLiteral("colourCast"), lookSettings_.colourCast},
            {QStringLiteral("saturation"), lookSettings_.saturation},
            {QStringLiteral("palette"), lookSettings_.palette}};
}

QVariantMap AppModel::matchSettingsSummary() const
{
    return {{QStringLiteral("tone"), matchSettings_.tone},
            {QStringLiteral("colour"), matchSettings_.colour}};
}

QVariantMap AppModel::fineTuneSummary() const
{
    return {{QStringLiteral("temperature"), fineTune_.temperature},
            {QStringLiteral("tint"), fineTune_.tint},
            {QStringLiteral("contrast"), fineTune_.contrast},
            {QStringLiteral("saturation"), fineTune_.saturation}};
}

QVariant AppModel::lookAnalysisSummary() const
{
    if (!lookAnalysis_)
        return {};
    return QVariantMap{
        {QStringLiteral("blackLevel"), lookAnalysis_->blackLevel},
        {QStringLiteral("whiteLevel"), lookAnalysis_->whiteLevel},
        {QStringLiteral("contrast"), lookAnalysis_->contrast},
        {QStringLiteral("saturation"), lookAnalysis_->saturation},
        {QStringLiteral("paletteSize"), static_cast<qlonglong>(lookAnalysis_->palette.size())}};
}

QVariant AppModel::matchAnalysisSummary() const
{
    if (!matchAnalysis_)
        return {};
    return QVariantMap{
        {QStringLiteral("bandCount"), static_cast<qlonglong>(matchAnalysis_->bands.size())}};
}

QVariant AppModel::editFitSummary() const
{
    if (!editFit_)
        return {};
    return QVariantMap{{QStringLiteral("rmsError"), editFit_->rmsError},
                       {QStringLiteral("coverage"), editFit_->coverage},
                       {QStringLiteral("iterations"), static_cast<qlonglong>(editFit_->iterations)},
                       {QStringLiteral("size"), static_cast<qlonglong>(editFit_->lut.size())}};
}

QVariant AppModel::haldLUTSummary() const
{
    if (!haldLUT_)
        return {};
    return QVariantMap{{QStringLiteral("size"), static_cast<qlonglong>(haldLUT_->size())}};
}

QVariantList AppModel::neutralCurveSummary() const
{
    QVariantList points;
    for (const RGB& point : neutralCurve_)
        points.append(QVariant(listOf(point)));
    return points;
}

QVariantList AppModel::tintDotsSummary() const
{
    QVariantList dots;
    for (const TintDot& dot : tintDots_)
        dots.append(QVariant::fromValue(dot));
    return dots;
}

}  // namespace lumivert
