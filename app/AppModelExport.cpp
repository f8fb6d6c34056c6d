// Export of the current grade, the identity HALD template and the toast that confirms a file.
#include "AppModel.hpp"
#include "BackgroundJob.hpp"

#include "imaging/ImageLoader.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTWriter.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumivert {

namespace {

const QString defaultLUTName =
    QString::fromUtf8(GradeRecipe::defaultLUTName.data(), GradeRecipe::defaultLUTName.size());
const QString saveLUTFailedTitle = QString::fromUtf8(GradeRecipe::saveLUTFailedTitle.data(),
                                                     GradeRecipe::saveLUTFailedTitle.size());
const QString saveHaldFailedTitle = QString::fromUtf8(GradeRecipe::saveHaldFailedTitle.data(),
                                                      GradeRecipe::saveHaldFailedTitle.size());
const QString exportDirectoryKey = QStringLiteral("exportDirectory");
const QString templateName = QStringLiteral("Identity HALD 8.png");
constexpr int templateLevel = 8;
// The ten characters that may not appear in an exported file name.
const QString forbiddenFileNameCharacters = QStringLiteral("/:\\?%*|\"<>");

QString nameFilter(LUTFormat format)
{
    switch (format) {
    case LUTFormat::cube: return QStringLiteral("Cube LUT (*.cube)");
    case LUTFormat::threeDL: return QStringLiteral("3DL LUT (*.3dl)");
    case LUTFormat::hald: return QStringLiteral("PNG image (*.png)");
    }
    return QString();
}

QString extension(LUTFormat format)
{
    return QString::fromUtf8(format.fileExtension().data(), format.fileExtension().size());
}

std::filesystem::path fileSystemPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

}  // namespace

namespace ExportChoices {
std::vector<LUTFormat> formats(ExportChoice choice)
{
    switch (choice) {
    case ExportChoice::cube: return {LUTFormat::cube};
    case ExportChoice::threeDL: return {LUTFormat::threeDL};
    case ExportChoice::hald: return {LUTFormat::hald};
    case ExportChoice::all: return {LUTFormat::cube, LUTFormat::threeDL, LUTFormat::hald};
    }
    return {};
}
}  // namespace ExportChoices

QString AppModel::sanitisedFileName(const QString& name)
{
    QString cleaned = name;
    for (QChar& character : cleaned)
        if (forbiddenFileNameCharacters.contains(character))
            character = QLatin1Char('-');
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype first = 0;
    qsizetype last = cleaned.size();
    while (first < last && blank(cleaned[first]))
        ++first;
    while (last > first && blank(cleaned[last - 1]))
        --last;
    return cleaned.mid(first, last - first);
}

void AppModel::exportLUT()
{
    if (!hasResult() && fineTune_.isNeutral()) {
        QStringList titles;
        for (GradeRecipe::Slot slot : GradeRecipe::recipe(toRecipe(mode_)).slots) {
            const std::string_view title = GradeRecipe::recipe(slot).title;
            titles << QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
        }
        setAlert(AlertInfo{QUuid::createUuid(), QStringLiteral("Nothing to export yet"),
                           QStringLiteral("Add ") + titles.join(QStringLiteral(" and ")).toLower() +
                               QStringLiteral(" first.")});
        return;
    }
    const std::vector<LUTFormat> formats = ExportChoices::formats(exportChoice_);
    const QString baseName = lutName_.isEmpty() ? defaultLUTName : lutName_;
    FilePanels::SaveRequest request;
    request.title = QStringLiteral("Export LUT");
    request.proposedName =
        sanitisedFileName(baseName) + QLatin1Char('.') + extension(formats.front());
    request.nameFilters << nameFilter(formats.front());
    if (exportChoice_ == ExportChoice::all)
        request.message = QStringLiteral("Saves .cube, .3dl and HALD .png files with this name.");
    const QUrl folder = defaults_->value(exportDirectoryKey).toUrl();
    if (folder.isLocalFile())
        request.startFolder = folder.toLocalFile();
    const auto chosen = panels_->chooseSaveLocation(request);
    if (!chosen)
        return;
    // Remembered before writing, so a failed write still opens the panel there next time.
    defaults_->setValue(exportDirectoryKey, QUrl::fromLocalFile(QFileInfo(*chosen).absolutePath()));
    writeLUTs(*chosen, formats);
}

void AppModel::writeLUTs(const QString& path, const std::vector<LUTFormat>& formats)
{
    const GradePipeline pipeline = currentPipeline();
    const qint64 size = exportSize_;
    const std::string title = (lutName_.isEmpty() ? defaultLUTName : lutName_).toStdString();
    const QFileInfo chosen(path);
    const QString stem = chosen.dir().filePath(chosen.completeBaseName());
    auto write = [pipeline, size, title, stem, formats] {
        const LUT3D lut = pipeline.makeLUT(size);
        QStringList written;
        for (LUTFormat format : formats) {
            const QString file = stem + QLatin1Char('.') + extension(format);
            LUTWriter::write(lut, format, title, fileSystemPath(file));
            written << file;
        }
        return written;
    };
    changeBusy(+1);
    // After the previous export has landed: two exports to one name end with the later one.
    lastExport_ =
        lastExport_.then(QtFuture::Launch::Async, [write]() mutable { return outcomeOf(write); })
            .then(this, [this](const Outcome<QStringList>& outcome) {
                if (outcome.value && !outcome.value->isEmpty()) {
                    QStringList names;
                    for (const QString& file : *outcome.value)
                        names << QStringLiteral("“%1”").arg(QFileInfo(file).fileName());
                    showToast(QStringLiteral("Saved ") + names.join(QStringLiteral(", ")),
                              QUrl::fromLocalFile(outcome.value->front()));
                } else if (!outcome.value) {
                    present(outcome.error, saveLUTFailedTitle);
                }
                changeBusy(-1);
            });
}

void AppModel::saveIdentityHALD()
{
    FilePanels::SaveRequest request;
    request.title = QStringLiteral("Save Identity HALD");
    request.message = QStringLiteral("A 512 × 512, 16-bit HALD image. Grade it with adjustment "
                                     "layers only, save it, then drop it back here.");
    request.proposedName = templateName;
    request.nameFilters << nameFilter(LUTFormat::hald);
    const auto chosen = panels_->chooseSaveLocation(request);
    if (!chosen)
        return;
    const QString path = *chosen;
    runInBackground([path] {
        ImageLoader::writePNG(HaldCLUT::identity(templateLevel), fileSystemPath(path), true);
        return true;
    }).then(this, [this, path](const Outcome<bool>& outcome) {
        if (outcome.value)
            showToast(QStringLiteral("Saved “%1”. Grade it, then drop it on the HALD well.")
                          .arg(QFileInfo(path).fileName()),
                      QUrl::fromLocalFile(path));
        else
            present(outcome.error, saveHaldFailedTitle);
    });
}

void AppModel::showToast(const QString& message, const std::optional<QUrl>& url)
{
    setToast(Toast{QUuid::createUuid(), message, url});
    toastTimer_.start();
}

void AppModel::revealToastFile()
{
    if (toast_ && toast_->url && toast_->url->isLocalFile())
        panels_->reveal(toast_->url->toLocalFile());
}

}  // namespace lumivert
