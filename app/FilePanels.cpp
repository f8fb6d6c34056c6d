#include "FilePanels.hpp"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace lumivert {

namespace {
const QString imageFilter = QStringLiteral(
    "Images (*.jpg *.jpeg *.png *.tif *.tiff *.webp *.gif *.heic *.heif *.avif);;All files (*)");
}

FilePanels::~FilePanels() = default;

std::optional<QString> QtFilePanels::chooseImage(const QString& message)
{
    QFileDialog dialog(nullptr, message, QString(), imageFilter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

std::optional<QString> QtFilePanels::chooseSaveLocation(const SaveRequest& request)
{
    QFileDialog dialog(nullptr, request.title, request.startFolder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(request.nameFilters);
    dialog.selectFile(request.proposedName);
    // The message has no place of its own in QFileDialog; the file-name label carries it.
    if (!request.message.isEmpty())
        dialog.setLabelText(QFileDialog::FileName, request.message);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

void QtFilePanels::reveal(const QString& path)
{
    // Desktops differ in how to select a file; opening its folder works everywhere.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace lumivert
