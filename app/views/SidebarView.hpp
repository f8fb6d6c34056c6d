#pragma once
// The window's left column: the four modes, the current mode's image wells (with the identity
// HALD button in hald mode) and the compact well of the optional preview photo. A well exists
// once per slot and is shown or hidden as the mode changes, so a well keeps its state and the
// preview well is the same widget in every mode.
#include "AppModel.hpp"
#include "AppTypes.hpp"

#include <QScrollArea>

#include <array>
#include <map>
#include <vector>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace lumivert {

class ImageWell;
class ModeRow;

class SidebarView : public QScrollArea {
    Q_OBJECT

public:
    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

    // In the order look, match, edit, hald.
    const std::array<ModeRow*, 4>& modeRows() const { return modeRows_; }
    // Under the modes: shows the opened LUT file, or asks for one while none is open.
    ModeRow* lutFileRow() const { return lutFileRow_; }
    // The wells of the current mode's input slots, in slot order.
    const std::vector<ImageWell*>& inputWells() const { return inputWells_; }
    ImageWell* previewWell() const { return previewWell_; }
    // Shown in hald mode only.
    QPushButton* saveHaldButton() const { return saveHaldButton_; }
    QString imagesHeader() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showMode();
    void showLUTFile();
    ImageWell* wellFor(Slot slot);

    AppModel& model_;
    std::array<ModeRow*, 4> modeRows_{};
    ModeRow* lutFileRow_ = nullptr;
    QLabel* imagesHeader_;
    QVBoxLayout* wellsLayout_;
    std::map<Slot, ImageWell*> wells_;
    std::vector<ImageWell*> inputWells_;
    QPushButton* saveHaldButton_;
    ImageWell* previewWell_;
};

}  // namespace lumivert
