#pragma once
// The round grip on the comparison's split line. It only shows where to drag: the comparison
// under it takes the pointer, so a press on the grip moves the split like one beside it.
#include <QWidget>

namespace lumivert {

class SplitHandle : public QWidget {
public:
    static constexpr int diameter = 28;

    explicit SplitHandle(QWidget* parent = nullptr);
    // Centres the grip on a point of the parent.
    void centreOn(const QPointF& point);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap symbol_;
};

}  // namespace lumivert
