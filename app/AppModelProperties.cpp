// The QVariant faces of the model's properties, for Qt's access by name. They only convert;
// every write goes through the C++ setter, so notification and side effects are the same.
#include "AppModel.hpp"

#include "recipe/Adjustments.hpp"

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

QVariantMap AppModel::settingsSummary() const
{
    const auto text = [](std::string_view raw) {
        return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    };
    QVariantMap summary;
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments()) {
        QVariant value;
        switch (row.kind) {
        case GradeRecipe::AdjustmentKind::numbers:
            if (row.values.size() == 1) {
                value = row.values[0].of(settings_);
            } else {
                QVariantMap values;
                for (const GradeRecipe::AdjustmentValue& part : row.values)
                    values.insert(text(part.key), part.of(settings_));
                value = values;
            }
            break;
        case GradeRecipe::AdjustmentKind::choice:
            value = text(row.choices[row.chosen(settings_)].id);
            break;
        case GradeRecipe::AdjustmentKind::toggle: value = row.chosen(settings_) != 0; break;
        }
        summary.insert(text(row.key), value);
    }
    return summary;
}

QVariant AppModel::lookAnalysisSummary() const
{
    if (!results_.look)
        return {};
    return QVariantMap{
        {QStringLiteral("blackLevel"), results_.look->blackLevel},
        {QStringLiteral("whiteLevel"), results_.look->whiteLevel},
        {QStringLiteral("contrast"), results_.look->contrast},
        {QStringLiteral("saturation"), results_.look->saturation},
        {QStringLiteral("paletteSize"), static_cast<qlonglong>(results_.look->palette.size())}};
}

QVariant AppModel::matchAnalysisSummary() const
{
    if (!results_.match)
        return {};
    return QVariantMap{
        {QStringLiteral("bandCount"), static_cast<qlonglong>(results_.match->bands.size())}};
}

QVariant AppModel::editFitSummary() const
{
    if (!results_.edit)
        return {};
    return QVariantMap{
        {QStringLiteral("rmsError"), results_.edit->rmsError},
        {QStringLiteral("coverage"), results_.edit->coverage},
        {QStringLiteral("iterations"), static_cast<qlonglong>(results_.edit->iterations)},
        {QStringLiteral("size"), static_cast<qlonglong>(results_.edit->lut.size())}};
}

QVariant AppModel::editDifferenceSummary() const
{
    if (!editDifference_)
        return {};
    return QVariantMap{{QStringLiteral("rmsLevels"), editDifference_->rmsLevels},
                       {QStringLiteral("meanDeltaE"), editDifference_->meanDeltaE},
                       {QStringLiteral("medianDeltaE"), editDifference_->medianDeltaE},
                       {QStringLiteral("percentile95DeltaE"), editDifference_->percentile95DeltaE},
                       {QStringLiteral("maxDeltaE"), editDifference_->maxDeltaE}};
}

QVariant AppModel::haldLUTSummary() const
{
    if (!results_.hald)
        return {};
    return QVariantMap{{QStringLiteral("size"), static_cast<qlonglong>(results_.hald->size())}};
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
