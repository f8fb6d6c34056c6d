#pragma once
// The main window: sidebar, preview and inspector side by side, the toolbar with "Export LUT"
// and "Adjustments", the model's alert, and the window title that names the mode.
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

class QSplitter;
class QToolButton;
class QVariantAnimation;

namespace lumivert {

class FocusRing;

class AppModel;

class ContentView : public QMainWindow {
    Q_OBJECT

public:
    struct Columns {
        QWidget* sidebar = nullptr;
        QWidget* preview = nullptr;
        QWidget* inspector = nullptr;
    };

    static constexpr QSize minimumWindowSize{1024, 680};
    static constexpr QSize defaultWindowSize{1380, 860};
    static constexpr int sidebarMinimum = 240;
    static constexpr int sidebarIdeal = 268;
    static constexpr int sidebarMaximum = 330;
    static constexpr int inspectorMinimum = 300;
    static constexpr int inspectorIdeal = 324;
    static constexpr int inspectorMaximum = 420;

    ContentView(AppModel& model, Columns columns, QWidget* parent = nullptr);

    bool inspectorShown() const { return showInspector_; }
    void setInspectorShown(bool shown);
    QToolButton* exportButton() const { return exportButton_; }
    QToolButton* adjustmentsButton() const { return adjustmentsButton_; }
    QMessageBox* alertBox() const { return alertBox_; }
    // Draws the keyboard focus around whichever control of the window has it.
    FocusRing* focusRing() const { return focusRing_; }
    QSplitter* splitter() const { return splitter_; }
    const Columns& columns() const { return columns_; }

    // Saves a PNG of the whole window as it is drawn now; false when it cannot be written.

Q_SIGNALS:
    // The window is on screen for the first time.
    void appeared();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildToolbar();
    void updateTitle();
    void updateAlert();
    void startUp();

    AppModel& model_;
    Columns columns_;
    QSplitter* splitter_ = nullptr;
    QToolButton* exportButton_ = nullptr;
    FocusRing* focusRing_ = nullptr;
    QToolButton* adjustmentsButton_ = nullptr;
    QPointer<QMessageBox> alertBox_;
    QVariantAnimation* inspectorAnimation_ = nullptr;
    bool showInspector_ = true;
    bool appeared_ = false;
    int inspectorWidth_ = inspectorIdeal;
};

}  // namespace lumivert
