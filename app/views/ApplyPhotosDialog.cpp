#include "ApplyPhotosDialog.hpp"

#include "AppModel.hpp"
#include "recipe/ExportPlan.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace lumivert {

namespace {

struct FormatChoice {
    const char* title;
    std::optional<ImageFileType> type;
};
constexpr std::array<FormatChoice, 5> formatChoices{{
    {"Same as each photo", std::nullopt},
    {"PNG", ImageFileType::png},
    {"JPEG", ImageFileType::jpeg},
    {"TIFF", ImageFileType::tiff},
    {"WebP", ImageFileType::webp},
}};

const QString outputFolderKey = QStringLiteral("applyOutputFolder");
constexpr int listHeight = 160;

QString imageFilter()
{
    QStringList patterns;
    for (const std::string_view extension : ImageLoader::readableExtensions())
        patterns << QStringLiteral("*.") +
                        QString::fromUtf8(extension.data(),
                                          static_cast<qsizetype>(extension.size()));
    return QStringLiteral("Images (%1)").arg(patterns.join(QLatin1Char(' ')));
}

std::filesystem::path fileSystemPath(const QString& file)
{
    return QFile::encodeName(file).toStdString();
}

}  // namespace

ApplyPhotosDialog::ApplyPhotosDialog(AppModel& model, QWidget* parent)
    : QDialog(parent), model_(model), lutLabel_(new QLabel(this)), list_(new QListWidget(this)),
      folder_(new QLineEdit(this)), format_(new QComboBox(this)), progress_(new QProgressBar(this)),
      status_(new QLabel(this)), apply_(new QPushButton(QStringLiteral("Apply"), this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Cancel, this))
{
    setWindowTitle(QStringLiteral("Apply to Photos"));
    setAcceptDrops(true);
    lutLabel_->setWordWrap(true);
    lutLabel_->setText(
        model_.showingLUTFile()
            ? QStringLiteral("Applies the LUT file “%1” at the window’s intensity.")
                  .arg(QFileInfo(model_.lutFile()->path).fileName())
            : QStringLiteral("Applies “%1”, the LUT the window exports.")
                  .arg(model_.lutName().isEmpty()
                           ? QString::fromUtf8(
                                 GradeRecipe::defaultLUTName.data(),
                                 static_cast<qsizetype>(GradeRecipe::defaultLUTName.size()))
                           : model_.lutName()));

    list_->setMinimumHeight(listHeight);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAccessibleName(QStringLiteral("Photos"));
    list_->setAccessibleDescription(QStringLiteral("The photos to grade; drop photos or folders"));
    auto* add = new QPushButton(QStringLiteral("Add Photos…"), this);
    auto* addFolder = new QPushButton(QStringLiteral("Add Folder…"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    connect(add, &QPushButton::clicked, this, &ApplyPhotosDialog::choosePhotos);
    connect(addFolder, &QPushButton::clicked, this, [this] {
        const QString folder =
            QFileDialog::getExistingDirectory(this, QStringLiteral("Add Folder"));
        if (!folder.isEmpty())
            addPhotos({folder});
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        qDeleteAll(list_->selectedItems());
        updateButtons();
    });
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(addFolder);
    listButtons->addStretch(1);
    listButtons->addWidget(remove);

    folder_->setText(model_.defaultsStore().value(outputFolderKey).toString());
    folder_->setAccessibleName(QStringLiteral("Output folder"));
    auto* chooseFolder = new QPushButton(QStringLiteral("Choose…"), this);
    chooseFolder->setAccessibleName(QStringLiteral("Choose output folder"));
    connect(chooseFolder, &QPushButton::clicked, this, &ApplyPhotosDialog::chooseFolder);
    connect(folder_, &QLineEdit::textChanged, this, &ApplyPhotosDialog::updateButtons);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(chooseFolder);

    for (const FormatChoice& choice : formatChoices)
        format_->addItem(QString::fromUtf8(choice.title));
    format_->setAccessibleName(QStringLiteral("Format"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Save to:"), folderRow);
    form->addRow(QStringLiteral("Format:"), format_);

    progress_->setTextVisible(true);
    progress_->setValue(0);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    apply_->setDefault(true);
    buttons_->addButton(apply_, QDialogButtonBox::AcceptRole);
    connect(apply_, &QPushButton::clicked, this, &ApplyPhotosDialog::startApplying);
    connect(buttons_, &QDialogButtonBox::rejected, this, &ApplyPhotosDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(lutLabel_);
    column->addWidget(list_, 1);
    column->addLayout(listButtons);
    column->addLayout(form);
    column->addWidget(progress_);
    column->addWidget(status_);
    column->addWidget(buttons_);

    connect(&batch_, &PhotoBatch::progressed, this, [this](int done, int total) {
        progress_->setMaximum(total);
        progress_->setValue(done);
    });
    connect(&batch_, &PhotoBatch::finished, this, &ApplyPhotosDialog::finish);
    updateButtons();
}

void ApplyPhotosDialog::addPhotos(const QStringList& paths)
{
    const QStringList present = photos();
    for (const std::filesystem::path& photo : PhotoBatch::photosIn(paths)) {
        const QString file = QFile::decodeName(photo.c_str());
        if (!present.contains(file))
            list_->addItem(file);
    }
    updateButtons();
}

QStringList ApplyPhotosDialog::photos() const
{
    QStringList files;
    for (int row = 0; row < list_->count(); ++row)
        files << list_->item(row)->text();
    return files;
}

void ApplyPhotosDialog::setFolder(const QString& folder) { folder_->setText(folder); }

QString ApplyPhotosDialog::folder() const { return folder_->text(); }

QString ApplyPhotosDialog::statusText() const { return status_->text(); }

void ApplyPhotosDialog::choosePhotos()
{
    addPhotos(QFileDialog::getOpenFileNames(this, QStringLiteral("Add Photos"), QString(),
                                            imageFilter()));
}

void ApplyPhotosDialog::chooseFolder()
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Save Graded Photos To"), folder());
    if (!chosen.isEmpty())
        setFolder(chosen);
}

void ApplyPhotosDialog::updateButtons()
{
    apply_->setEnabled(!batch_.running() && list_->count() > 0 && !folder_->text().isEmpty());
    buttons_->button(QDialogButtonBox::Cancel)
        ->setText(batch_.running() ? QStringLiteral("Stop") : QStringLiteral("Close"));
}

PhotoBatch::Request ApplyPhotosDialog::request() const
{
    PhotoBatch::Request request;
    for (const QString& photo : photos())
        request.photos.push_back(fileSystemPath(photo));
    request.folder = fileSystemPath(folder());
    request.type = formatChoices[static_cast<std::size_t>(format_->currentIndex())].type;
    request.grade = model_.photoGrade();
    request.options.interpolation = model_.previewInterpolation();
    for (const auto& [slot, image] : model_.images())
        if (image.url())
            request.kept.push_back(*image.url());
    if (model_.lutFile())
        request.kept.push_back(fileSystemPath(model_.lutFile()->path));
    return request;
}

bool ApplyPhotosDialog::startApplying()
{
    if (batch_.running() || list_->count() == 0 || folder().isEmpty())
        return false;
    const PhotoBatch::Request wanted = request();
    std::vector<BatchApply::Job> jobs;
    try {
        jobs = PhotoBatch::plan(wanted);
    } catch (const ExportPlan::ExportPlanError& error) {
        status_->setText(QString::fromUtf8(error.what()));
        return false;
    }
    const QStringList existing = PhotoBatch::existingOutputs(jobs);
    if (!existing.isEmpty()) {
        QMessageBox question(QMessageBox::Warning, QStringLiteral("Replace existing files?"),
                             QStringLiteral("%1 of the graded photos already exist in “%2” and "
                                            "would be replaced.")
                                 .arg(existing.size())
                                 .arg(QFileInfo(folder()).fileName()),
                             QMessageBox::Cancel, this);
        question.setObjectName(QStringLiteral("replacePhotosQuestion"));
        question.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
        question.setDefaultButton(QMessageBox::Cancel);
        question.exec();
        if (question.clickedButton() == question.button(QMessageBox::Cancel))
            return false;
    }
    if (!model_.capturing())
        model_.defaultsStore().setValue(outputFolderKey, folder());
    progress_->setMaximum(static_cast<int>(jobs.size()));
    progress_->setValue(0);
    status_->setText(QStringLiteral("Grading %1 photos…").arg(jobs.size()));
    batch_.start(wanted, std::move(jobs));
    updateButtons();
    return true;
}

void ApplyPhotosDialog::finish(const PhotoBatch::Summary& summary)
{
    QString text = QStringLiteral("Saved %1 of %2 photos").arg(summary.written).arg(summary.total);
    text += summary.cancelled ? QStringLiteral("; stopped.") : QStringLiteral(".");
    if (!summary.failures.isEmpty())
        text += QLatin1Char('\n') + summary.failures.join(QLatin1Char('\n'));
    status_->setText(text);
    updateButtons();
}

void ApplyPhotosDialog::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ApplyPhotosDialog::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    addPhotos(paths);
    event->acceptProposedAction();
}

void ApplyPhotosDialog::reject()
{
    // Stop first; a second press once the batch has ended closes the dialog.
    if (batch_.running()) {
        batch_.cancel();
        return;
    }
    QDialog::reject();
}

}  // namespace lumivert
