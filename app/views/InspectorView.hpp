#pragma once
// The right-hand column of the window: a scrolling stack of four cards, the mode's strengths
// ("mode"), the analysis figures ("analysis"), the fine tune ("finetune") and the export
// settings ("export"). It scrolls the card named by the model's inspectorTarget into view
// when that changes and once when first shown.
#include <QScrollArea>
#include <QString>
#include <QVariantAnimation>

#include <vector>

namespace lumivert {

class AppModel;
class Card;
class ExportPanel;
class FineTuneControls;
class ModeControls;

class InspectorView : public QScrollArea {
    Q_OBJECT

public:
    // analysisPanel is the ready analysis figures widget; the view takes ownership.
    InspectorView(AppModel& model, QWidget* analysisPanel, QWidget* parent = nullptr);

    // The card with this identifier, or null.
    Card* card(const QString& identifier) const;
    const std::vector<Card*>& cards() const { return cards_; }
    ModeControls* modeControls() const { return modeControls_; }
    FineTuneControls* fineTuneControls() const { return fineTuneControls_; }
    ExportPanel* exportPanel() const { return exportPanel_; }

    // The scroll position that brings the card into view with the least movement.
    int scrollTargetFor(const Card& card) const;

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showMode();
    void scrollToTarget();

    AppModel& model_;
    ModeControls* modeControls_;
    FineTuneControls* fineTuneControls_;
    ExportPanel* exportPanel_;
    std::vector<Card*> cards_;
    QVariantAnimation scroll_;
    bool shownOnce_ = false;
};

}  // namespace lumivert
