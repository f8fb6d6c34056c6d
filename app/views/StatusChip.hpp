#pragma once
// The small capsule under the preview: a spinner and "Analysing…" while the model works,
// otherwise the one-line summary of the current result, otherwise nothing at all.
#include "AppModel.hpp"

#include <QFrame>

class QLabel;

namespace lumivert {

class StatusChip : public QFrame {
    Q_OBJECT

public:
    explicit StatusChip(AppModel& model, QWidget* parent = nullptr);

    // What the chip says; empty while it is hidden.
    QString text() const;
    bool showsProgress() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QWidget* spinner_;
    QLabel* symbol_;
    QLabel* label_;
};

}  // namespace lumivert
