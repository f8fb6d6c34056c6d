#include "InspectorView.hpp"

#include "AppModel.hpp"
#include "Card.hpp"
#include "ExportPanel.hpp"
#include "FineTuneControls.hpp"
#include "ModeControls.hpp"
#include "Presentation.hpp"

#include "color/Precondition.hpp"

#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumivert {

namespace {

constexpr int spacing = 14;
constexpr int padding = 14;
constexpr int scrollResponseMs = 400;
// The column's width range in the window.
constexpr int narrowest = 300;
constexpr int ideal = 324;
constexpr int widest = 420;

}  // namespace

InspectorView::InspectorView(AppModel& model, QWidget* analysisPanel, QWidget* parent)
    : QScrollArea(parent), model_(model), modeControls_(new ModeControls(model)),
      fineTuneControls_(new FineTuneControls(model)), exportPanel_(new ExportPanel(model))
{
    LUMIVERT_PRECONDITION(analysisPanel != nullptr, "the inspector needs the analysis panel");
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("Adjustments"));
    setAccessibleDescription(
        QStringLiteral("The LUT's strengths, its analysis, fine tuning and export settings"));
    setMinimumWidth(narrowest);
    setMaximumWidth(widest);

    cards_ = {
        new Card(QStringLiteral("mode"), Modes::title(model.mode()),
                 Presentation::modeSymbol(model.mode()), modeControls_),
        new Card(QStringLiteral("analysis"), QStringLiteral("Analysis"),
                 QStringLiteral("chart.xyaxis.line"), analysisPanel),
        new Card(QStringLiteral("finetune"), QStringLiteral("Fine tune"),
                 QStringLiteral("slider.horizontal.3"), fineTuneControls_,
                 fineTuneControls_->resetButton()),
        new Card(QStringLiteral("export"), QStringLiteral("Export"),
                 QStringLiteral("square.and.arrow.up"), exportPanel_),
    };
    auto* column = new QWidget;
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(spacing);
    for (Card* card : cards_)
        stack->addWidget(card);
    stack->addStretch(1);
    setWidget(column);

    scroll_.setDuration(scrollResponseMs);
    scroll_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&scroll_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });

    connect(&model_, &AppModel::modeChanged, this, &InspectorView::showMode);
    connect(&model_, &AppModel::inspectorTargetChanged, this, &InspectorView::scrollToTarget);
}

Card* InspectorView::card(const QString& identifier) const
{
    const auto found = std::find_if(cards_.begin(), cards_.end(), [&](const Card* card) {
        return card->identifier() == identifier;
    });
    return found == cards_.end() ? nullptr : *found;
}

QSize InspectorView::sizeHint() const { return {ideal, QScrollArea::sizeHint().height()}; }

int InspectorView::scrollTargetFor(const Card& card) const
{
    const int current = verticalScrollBar()->value();
    const int visible = viewport()->height();
    const int top = card.y() - padding;
    const int bottom = card.y() + card.height() + padding;
    int target = current;
    if (top < current)
        target = top;
    else if (bottom > current + visible)
        target = std::min(top, bottom - visible);
    return std::clamp(target, verticalScrollBar()->minimum(), verticalScrollBar()->maximum());
}

void InspectorView::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    // After the first layout pass, so that the cards have their final positions.
    QTimer::singleShot(0, this, &InspectorView::scrollToTarget);
}

void InspectorView::showMode()
{
    Card* modeCard = card(QStringLiteral("mode"));
    modeCard->setTitle(Modes::title(model_.mode()));
    modeCard->setSymbol(Presentation::modeSymbol(model_.mode()));
}

void InspectorView::scrollToTarget()
{
    const std::optional<QString>& target = model_.inspectorTarget();
    const Card* targetCard = target ? card(*target) : nullptr;
    if (!targetCard)
        return;
    scroll_.stop();
    scroll_.setStartValue(verticalScrollBar()->value());
    scroll_.setEndValue(scrollTargetFor(*targetCard));
    scroll_.start();
}

}  // namespace lumivert
