#pragma once
// The modal file panels, the confirmation question and the file manager, behind an interface so
// that the model's export and template workflows run in tests with a scripted stand-in.
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QFileDialog;

namespace lumivert {

class FilePanels {
public:
    struct SaveRequest {
        QString title;
        QString message;
        QString proposedName;
        QString startFolder;      // empty: the panel's own choice
        QStringList nameFilters;  // "LUT files (*.cube)" and the like
    };

    // A yes-or-no question before something is lost, such as files an export would replace.
    struct Question {
        QString title;
        QString message;
        QString acceptLabel;  // the button that goes ahead, such as "Replace"
    };

    virtual ~FilePanels();
    // One existing image file, or nothing when the user cancels; the panel opens in
    // `startFolder` (empty: the panel's own choice).
    virtual std::optional<QString> chooseImage(const QString& message,
                                               const QString& startFolder) = 0;
    // The destination path, or nothing when the user cancels.
    virtual std::optional<QString> chooseSaveLocation(const SaveRequest& request) = 0;
    // True when the user goes ahead; cancelling is the default answer.
    virtual bool confirm(const Question& question) = 0;
    // Shows the file in the desktop's file manager.
    virtual void reveal(const QString& path) = 0;
};

// QFileDialog and the desktop's file manager.
class QtFilePanels final : public FilePanels {
public:
    // The save panel for a request, not yet shown: its message is a row of its own under the
    // panel's rows, so that the file-name row keeps its label and its width.
    static std::unique_ptr<QFileDialog> saveDialog(const SaveRequest& request);

    std::optional<QString> chooseImage(const QString& message, const QString& startFolder) override;
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override;
    bool confirm(const Question& question) override;
    void reveal(const QString& path) override;
};

}  // namespace lumivert
