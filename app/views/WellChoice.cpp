#include "WellChoice.hpp"

#include "AppModel.hpp"
#include "Presentation.hpp"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <map>

namespace lumivert::WellChoice {

namespace {
const QString questionTitle = QStringLiteral("Replace which image?");
const QString questionText =
    QStringLiteral("Every image of this mode is in place. Choose the one the new image replaces.");
}  // namespace

bool allFull(const AppModel& model)
{
    const std::vector<Slot> slots = Modes::slots(model.mode());
    return std::all_of(slots.begin(), slots.end(), [&model](Slot slot) {
        return model.images().contains(slot) && !model.loading().contains(slot);
    });
}

std::optional<Slot> target(AppModel& model, QWidget* parent)
{
    if (!allFull(model))
        return model.dropTargetSlot();
    QMessageBox box(QMessageBox::Question, questionTitle, questionTitle, QMessageBox::NoButton,
                    parent);
    box.setObjectName(QStringLiteral("wellChoice"));
    box.setInformativeText(questionText);
    std::map<QAbstractButton*, Slot> choices;
    for (Slot slot : Modes::slots(model.mode()))
        choices.emplace(
            box.addButton(Presentation::actionText(Slots::title(slot)), QMessageBox::AcceptRole),
            slot);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    const auto chosen = choices.find(box.clickedButton());
    return chosen == choices.end() ? std::nullopt : std::optional(chosen->second);
}

}  // namespace lumivert::WellChoice
