#pragma once
// The modal file panels, the confirmation question and the file manager, behind an interface so
// that the model's export and template workflows run in tests with a scripted stand-in.
#include <QString>
#include <QStringList>

#include <optional>

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
    // One existing image file, or nothing when the user cancels.
    virtual std::optional<QString> chooseImage(const QString& message) = 0;
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
    std::optional<QString> chooseImage(const QString& message) override;
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override;
    bool confirm(const Question& question) override;
    void reveal(const QString& path) override;
};

}  // namespace lumivert
