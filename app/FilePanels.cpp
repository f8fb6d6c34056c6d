#include "FilePanels.hpp"

#include "imaging/ImageLoader.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace lumivert {

namespace {
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
constexpr int revealTimeoutMs = 3000;
const QString revealFailedTitle = QStringLiteral("Couldn\u2019t show the file");

// Every extension the loader reads, in lower case and in capitals: cameras name their files in
// capitals, and file panels match patterns case by case.
QString imageFilter()
{
    QStringList patterns;
    for (const std::string_view extension : ImageLoader::readableExtensions()) {
        const QString lower =
            QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    return QStringLiteral("Images (%1);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
}

// Opens the folder; without a folder opener either, the user is told where the file is, since a
// button that silently does nothing reads as a broken one.
void openFolderOrTell(const QUrl& folder, const QString& path)
{
    if (QDesktopServices::openUrl(folder))
        return;
    auto* box = new QMessageBox(QMessageBox::Information, revealFailedTitle, revealFailedTitle);
    box->setObjectName(QStringLiteral("revealFailed"));
    box->setInformativeText(
        QStringLiteral("No file manager could be opened. The file is saved at \u201c%1\u201d.")
            .arg(QDir::toNativeSeparators(path)));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace

FilePanels::~FilePanels() = default;

std::optional<QString> QtFilePanels::chooseImage(const QString& message, const QString& startFolder)
{
    QFileDialog dialog(nullptr, message, startFolder, imageFilter());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

std::unique_ptr<QFileDialog> QtFilePanels::saveDialog(const SaveRequest& request)
{
    auto dialog = std::make_unique<QFileDialog>(nullptr, request.title, request.startFolder);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    if (!request.message.isEmpty()) {
        // A native panel has no room for the message; Qt's own panel gets a row for it.
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
        auto* message = new QLabel(request.message, dialog.get());
        message->setObjectName(QStringLiteral("requestMessage"));
        message->setWordWrap(true);
        if (grid)
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    dialog->setNameFilters(request.nameFilters);
    dialog->selectFile(request.proposedName);
    return dialog;
}

std::optional<QString> QtFilePanels::chooseSaveLocation(const SaveRequest& request)
{
    const std::unique_ptr<QFileDialog> dialog = saveDialog(request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().front();
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
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QUrl file = QUrl::fromLocalFile(absolute);
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolderOrTell(folder, absolute);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, fileManagerPath, fileManagerService, QStringLiteral("ShowItems"));
    call << QStringList{QString::fromUtf8(file.toEncoded())} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, revealTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder, absolute](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             openFolderOrTell(folder, absolute);
                         finished->deleteLater();
                     });
}

}  // namespace lumivert
