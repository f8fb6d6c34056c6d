#include "AnalysisPanel.hpp"

#include "Figure.hpp"
#include "HistogramView.hpp"
#include "NeutralCurvesView.hpp"
#include "PaletteStrip.hpp"
#include "Theme.hpp"
#include "TintWheelView.hpp"
#include "learners/StatusLine.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace lumivert {

namespace {

constexpr int sectionSpacing = 12;
constexpr int figureSpacing = 12;
constexpr int paletteSpacing = 5;
constexpr int gridColumnSpacing = 12;
constexpr int gridRowSpacing = 4;

QLabel* secondaryLabel(const QString& text, QFont::Weight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(Theme::TextStyle::caption, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Theme::secondary());
    label->setPalette(palette);
    return label;
}

}  // namespace

QString AnalysisPanel::percent(double value)
{
    return QString::number(std::lround(value * 100.0)) + QLatin1Char('%');
}

QString AnalysisPanel::signedPercent(double value)
{
    const long rounded = std::lround(value * 100.0);
    return (rounded >= 1 ? QStringLiteral("+") : QString()) + QString::number(rounded) +
           QLatin1Char('%');
}

std::vector<AnalysisPanel::Row>
AnalysisPanel::rows(Mode mode, const std::optional<LookAnalysis>& look,
                    const std::optional<EditFit>& fit,
                    const std::optional<DifferenceStats>& difference)
{
    const GradeRecipe::Figures figures = GradeRecipe::recipe(toRecipe(mode)).figures;
    if (figures == GradeRecipe::Figures::lookLevels && look)
        return {{QStringLiteral("Black point"), percent(look->blackLevel)},
                {QStringLiteral("White point"), percent(look->whiteLevel)},
                {QStringLiteral("Contrast"), signedPercent(double(look->contrast) - 1.0)},
                {QStringLiteral("Colourfulness"), percent(look->saturation)}};
    if (figures == GradeRecipe::Figures::editFit && fit) {
        std::vector<Row> rows{
            {QStringLiteral("Fit error"), QString::asprintf("%.2f levels", fit->rmsError)}};
        if (difference)
            rows.push_back({QStringLiteral("\u0394E2000"),
                            QString::asprintf("mean %.2f \u00B7 95 %% %.2f", difference->meanDeltaE,
                                              difference->percentile95DeltaE)});
        rows.push_back({QStringLiteral("Cube covered"),
                        QString::fromStdString(StatusLine::coverage(fit->coverage))});
        return rows;
    }
    return {};
}

std::vector<AnalysisPanel::Row> AnalysisPanel::rows(const std::vector<LUTFacts::Fact>& facts)
{
    std::vector<Row> rows;
    for (const LUTFacts::Fact& fact : facts)
        rows.push_back({QString::fromStdString(fact.label), QString::fromStdString(fact.value)});
    return rows;
}

AnalysisPanel::AnalysisPanel(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), curves_(new NeutralCurvesView), wheel_(new TintWheelView),
      histogram_(new HistogramView(model, this)), paletteSection_(new QWidget(this)),
      strip_(new PaletteStrip(paletteSection_)), numbersSection_(new QWidget(this)),
      numbers_(new QGridLayout(numbersSection_))
{
    greyAxis_ = new Figure(QStringLiteral("Grey axis"), curves_, this);
    tint_ = new Figure(QStringLiteral("Tint by tone"), wheel_, this);

    auto* figures = new QHBoxLayout;
    figures->setSpacing(figureSpacing);
    figures->addWidget(greyAxis_);
    figures->addWidget(tint_);

    auto* palette = new QVBoxLayout(paletteSection_);
    palette->setContentsMargins(0, 0, 0, 0);
    palette->setSpacing(paletteSpacing);
    palette->addWidget(secondaryLabel(QStringLiteral("Palette"), QFont::DemiBold, paletteSection_));
    palette->addWidget(strip_);

    numbers_->setContentsMargins(0, 0, 0, 0);
    numbers_->setHorizontalSpacing(gridColumnSpacing);
    numbers_->setVerticalSpacing(gridRowSpacing);
    numbers_->setColumnStretch(1, 1);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sectionSpacing);
    stack->addLayout(figures);
    stack->addWidget(histogram_);
    stack->addWidget(paletteSection_);
    stack->addWidget(numbersSection_);
    // Spare height stays below the content, as in a card that hugs what it shows.
    stack->addStretch(1);

    connect(&model_, &AppModel::modeChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::lookAnalysisChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::editFitChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::editDifferenceChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::showingLUTFileChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::lutFileChanged, this, &AnalysisPanel::showAnalysis);
    connect(&model_, &AppModel::neutralCurveChanged, this,
            [this] { curves_->setCurve(model_.neutralCurve()); });
    connect(&model_, &AppModel::tintDotsChanged, this,
            [this] { wheel_->setDots(model_.tintDots()); });

    curves_->setCurve(model_.neutralCurve());
    wheel_->setDots(model_.tintDots());
    showAnalysis();
}

void AnalysisPanel::showAnalysis()
{
    if (model_.showingLUTFile()) {
        paletteSection_->setVisible(false);
        showRows(rows(model_.lutFile()->facts));
        return;
    }
    const auto& look = model_.lookAnalysis();
    const bool showsPalette =
        GradeRecipe::recipe(toRecipe(model_.mode())).figures == GradeRecipe::Figures::lookLevels &&
        look && !look->palette.empty();
    strip_->setPalette(showsPalette ? look->palette : std::vector<PaletteColor>{});
    paletteSection_->setVisible(showsPalette);
    showRows(rows(model_.mode(), look, model_.editFit(), model_.editDifference()));
}

void AnalysisPanel::showRows(std::vector<Row> rows)
{
    while (QLayoutItem* item = numbers_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (int index = 0; index < static_cast<int>(rows.size()); ++index) {
        const Row& row = rows[static_cast<std::size_t>(index)];
        numbers_->addWidget(secondaryLabel(row.label, QFont::Normal, numbersSection_), index, 0);
        auto* value = new QLabel(row.value, numbersSection_);
        value->setFont(Theme::font(Theme::TextStyle::caption, QFont::Medium));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // A LUT file's comments and title can be longer than the card is wide.
        value->setWordWrap(true);
        numbers_->addWidget(value, index, 1);
    }
    numbersSection_->setVisible(!rows.empty());
    shownRows_ = std::move(rows);
}

}  // namespace lumivert
