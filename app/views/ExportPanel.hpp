#pragma once
// The export settings and the export button (the inspector's last card): the LUT name, the
// formats to write, the lattice size, a line on what the choice produces, "Export LUT…" and
// collapsible notes on loading the file in Photoshop and in the usual Linux applications.
#include "AppTypes.hpp"

#include <QString>
#include <QWidget>

#include <array>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace lumivert {

class AppModel;

// What an export with this choice and lattice size writes, and which applications read it.
QString exportDescription(ExportChoice choice, qint64 size);

class ExportPanel : public QWidget {
    Q_OBJECT

public:
    explicit ExportPanel(AppModel& model, QWidget* parent = nullptr);

    static constexpr auto gridSizes = GradeRecipe::exportSizes;

    QLineEdit* nameField() const { return name_; }
    QComboBox* formatPicker() const { return format_; }
    // The checkable button of each grid size, in gridSizes order.
    const std::array<QToolButton*, 3>& gridButtons() const { return gridButtons_; }
    QLabel* description() const { return description_; }
    QPushButton* exportButton() const { return export_; }
    QWidget* gridPicker() const { return gridPicker_; }
    // The disclosures on using the file in other applications; Photoshop's comes first.
    const std::vector<QToolButton*>& helpToggles() const { return helpToggles_; }
    const std::vector<QLabel*>& helpNotes() const { return helpNotes_; }
    QToolButton* photoshopToggle() const { return helpToggles_.front(); }
    QLabel* photoshopNote() const { return helpNotes_.front(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeGridPicker();
    QWidget* makeHelpNotes();
    void showName();
    void showChoice();
    void showSize();
    void showDescription();
    void showExportable();

    AppModel& model_;
    QLineEdit* name_;
    QComboBox* format_;
    QButtonGroup* grid_;
    std::array<QToolButton*, 3> gridButtons_{};
    QLabel* description_;
    QPushButton* export_;
    QWidget* gridPicker_ = nullptr;
    std::vector<QToolButton*> helpToggles_;
    std::vector<QLabel*> helpNotes_;
};

}  // namespace lumivert
