#pragma once
// The row above the preview: what to preview on (the sources the mode offers), how to compare,
// and, in the before-and-after mode, whether the left side shows the user's real edit; the
// toggle between fit and 1:1 and the zoom readout, whose menu picks a zoom, which the pane
// connects to the comparison; and the "…" menu, which sets how the preview interpolates the table.
#include "AppModel.hpp"

#include <QList>
#include <QWidget>

class QAbstractButton;
class QActionGroup;
class QButtonGroup;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QToolButton;

namespace lumivert {

class PreviewControls : public QWidget {
    Q_OBJECT

public:
    explicit PreviewControls(AppModel& model, QWidget* parent = nullptr);

    // The "Preview on" segments, in the order of availablePreviewSources().
    QList<QAbstractButton*> sourceButtons() const;
    // The "Compare" segments, one per style in CompareStyles::allCases() order.
    QList<QAbstractButton*> compareButtons() const;
    // The "Compare with your edit" switch; hidden unless it applies.
    QCheckBox* compareWithAfterSwitch() const { return compareWithAfter_; }
    // Checked only at 1:1; clicked, it goes to 1:1, or back to fit from there.
    QAbstractButton* zoomToggle() const;
    // The zoom level as a percentage ("100 %"), beside the toggle; clicked, the zoom menu.
    QToolButton* zoomReadout() const { return zoomReadout_; }
    void showZoom(double zoom, bool actualSize);
    // The compare switch and picker have moved to a row of their own, for want of width.
    bool usesTwoRows() const;
    // The height the second row adds, spacing included; 0 on one row.
    int secondRowHeight() const;
    // The header of the menu's interpolation choices.
    QLabel* interpolationHeader() const { return interpolationHeader_; }
    // The menu button whose "Preview interpolation" choices are trilinear and tetrahedral.
    QToolButton* menuButton() const { return menuButton_; }

Q_SIGNALS:
    // Chosen in the zoom menu.
    void fitChosen();
    void zoomChosen(double zoom);
    void zoomInChosen();
    void zoomOutChosen();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Labels where the row has room for them, icons (named for assistive technology) where not.
    void fitSources();
    void rebuildSources();
    void showSource();
    void showCompareStyle();
    void showCompareWithAfter();
    void showInterpolation();
    void buildZoomMenu();

    AppModel& model_;
    QWidget* sourcePicker_;
    QHBoxLayout* sourceRow_;
    QHBoxLayout* firstRow_ = nullptr;
    QHBoxLayout* secondRow_ = nullptr;
    QButtonGroup* sources_;
    std::vector<PreviewSource> shownSources_;
    Mode shownMode_ = Mode::look;
    QWidget* comparePicker_;
    QButtonGroup* styles_;
    QCheckBox* compareWithAfter_;
    QToolButton* zoomToggle_;
    QToolButton* zoomReadout_;
    QLabel* interpolationHeader_ = nullptr;
    QToolButton* menuButton_;
    QActionGroup* interpolations_;
};

}  // namespace lumivert
