#include "FilePanels.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace lumivert {

namespace {
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
constexpr int revealTimeoutMs = 3000;
const QString imageFilter = QStringLiteral(
    "Images (*.jpg *.jpeg *.png *.tif *.tiff *.webp *.gif *.heic *.heif *.avif);;All files (*)");
}  // namespace

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

bool QtFilePanels::confirm(const Question& question)
{
    QMessageBox box(QMessageBox::Warning, question.title, question.title);
    box.setInformativeText(question.message);
    QPushButton* accept = box.addButton(question.acceptLabel, QMessageBox::DestructiveRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == accept;
}

void QtFilePanels::reveal(const QString& path)
{
    // The freedesktop file-manager interface selects the file itself; desktops without it, or
    // a failing call, still get the folder opened.
    const QUrl file = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, fileManagerPath, fileManagerService, QStringLiteral("ShowItems"));
    call << QStringList{QString::fromUtf8(file.toEncoded())} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, revealTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
}

}  // namespace lumivert
