#pragma once
// Apply to Photos: the photos (added with the panel, or dropped, folders standing for the photos
// in them), an output folder and a format; Apply writes the graded files with a progress bar,
// Cancel stops after the files in progress. Grades with what the window shows: the opened LUT
// file or the current mode's LUT, read when Apply is pressed.
#include "PhotoBatch.hpp"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace lumivert {

class AppModel;

class ApplyPhotosDialog : public QDialog {
    Q_OBJECT

public:
    explicit ApplyPhotosDialog(AppModel& model, QWidget* parent = nullptr);

    // Image files, or folders of them; each photo is listed once.
    void addPhotos(const QStringList& paths);
    QStringList photos() const;
    void setFolder(const QString& folder);
    QString folder() const;
    // Index into the format list: 0 keeps each photo's type, then PNG, JPEG, TIFF, WebP.
    QComboBox* formatBox() const { return format_; }
    QPushButton* applyButton() const { return apply_; }
    QProgressBar* progressBar() const { return progress_; }
    QString statusText() const;
    PhotoBatch& batch() { return batch_; }

    // Checks the request, asks before replacing files, and starts; false when it did not start.
    bool startApplying();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;

private:
    void choosePhotos();
    void chooseFolder();
    void updateButtons();
    void finish(const PhotoBatch::Summary& summary);
    PhotoBatch::Request request() const;

    AppModel& model_;
    PhotoBatch batch_;
    QLabel* lutLabel_;
    QListWidget* list_;
    QLineEdit* folder_;
    QComboBox* format_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* apply_;
    QDialogButtonBox* buttons_;
};

}  // namespace lumivert
