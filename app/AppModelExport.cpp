// Export of the current grade, the identity HALD template and the toast that confirms a file.
#include "AppModel.hpp"
#include "BackgroundJob.hpp"

#include "color/Precondition.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/SameFile.hpp"
#include "lut/HaldCLUT.hpp"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <system_error>

namespace lumivert {

namespace {

using std::filesystem::path;

QString text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QString defaultLUTName = text(GradeRecipe::defaultLUTName);
const QString saveLUTFailedTitle = text(GradeRecipe::saveLUTFailedTitle);
const QString saveHaldFailedTitle = text(GradeRecipe::saveHaldFailedTitle);
const QString templateName = QStringLiteral("Identity HALD 8.png");

path fileSystemPath(const QString& file) { return QFile::encodeName(file).toStdString(); }

QString displayName(const path& file) { return QFile::decodeName(file.filename().c_str()); }

// “a”, “b” and “c”
QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted << QStringLiteral("“%1”").arg(name);
    if (quoted.size() < 2)
        return quoted.join(QString());
    return quoted.mid(0, quoted.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           quoted.back();
}

// The choice whose files are these formats, in this order.
ExportPlan::ExportChoice choiceWriting(std::span<const LUTFormat> formats)
{
    const auto& choices = ExportPlan::choices();
    const auto found = std::find_if(choices.begin(), choices.end(), [formats](const auto& row) {
        return std::equal(row.formats.begin(), row.formats.end(), formats.begin(), formats.end());
    });
    LUMIVERT_PRECONDITION(found != choices.end(), "the formats of one export choice");
    return found->choice;
}

// What each mode still needs before there is something to export, in mode order.
constexpr std::array<const char*, GradeRecipe::modeCount> missingInputs{
    "Add a look photo first.", "Add your photo and a reference look first.",
    "Add a before and an after photo first.", "Add a graded HALD image first."};

}  // namespace

void AppModel::exportLUT()
{
    if (!canExport()) {
        setAlert(AlertInfo{QUuid::createUuid(), QStringLiteral("Nothing to export yet"),
                           QString::fromUtf8(missingInputs[index(mode_)])});
        return;
    }
    const ExportPlan::ExportChoice choice = toPlan(exportChoice_);
    const LUTFormat first = ExportPlan::formats(choice).front();
    FilePanels::SaveRequest request;
    request.title = QStringLiteral("Export LUT");
    request.proposedName =
        QString::fromStdString(ExportPlan::sanitisedFileName(exportTitle().toStdString())) +
        QLatin1Char('.') + text(first.fileExtension());
    request.nameFilters << text(first.panelFilter());
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
    const ExportPlan::Plan plan =
        ExportPlan::files(fileSystemPath(*chosen), choice, exportTitle().toStdString());
    if (confirmReplacing(plan, fileSystemPath(*chosen)))
        writePlan(plan);
}

void AppModel::writeLUTs(const QString& file, const std::vector<LUTFormat>& formats)
{
    writePlan(exportPlan(file, formats));
}

ExportPlan::Plan AppModel::exportPlan(const QString& file,
                                      const std::vector<LUTFormat>& formats) const
{
    return ExportPlan::files(fileSystemPath(file), choiceWriting(formats),
                             exportTitle().toStdString());
}

QString AppModel::exportTitle() const { return lutName_.isEmpty() ? defaultLUTName : lutName_; }

bool AppModel::confirmReplacing(const ExportPlan::Plan& plan, const path& chosen)
{
    std::vector<path> loaded;
    for (const auto& [slot, image] : images_)
        if (image.url())
            loaded.push_back(*image.url());
    const std::vector<path> existing = ExportPlan::existingFiles(plan);
    const std::vector<path> replaced = ExportPlan::replacedInputs(existing, loaded);
    std::vector<std::string> inputs;
    QStringList others;
    for (const path& file : existing) {
        if (std::find(replaced.begin(), replaced.end(), file) != replaced.end())
            inputs.push_back(quotedList({displayName(file)}).toStdString());
        else if (!sameFile(file, chosen))  // the save panel asked about that one
            others << displayName(file);
    }
    if (inputs.empty() && others.isEmpty())
        return true;
    QStringList sentences;
    if (!others.isEmpty())
        sentences << quotedList(others) +
                         (others.size() == 1
                              ? QStringLiteral(" already exists and would be replaced.")
                              : QStringLiteral(" already exist and would be replaced."));
    if (!inputs.empty())
        sentences << QString::fromStdString(ExportPlan::replacesInputsText(inputs)) +
                         QLatin1Char('.');
    const bool several = static_cast<qsizetype>(inputs.size()) + others.size() > 1;
    return panels_->confirm({several ? QStringLiteral("Replace existing files?")
                                     : QStringLiteral("Replace the existing file?"),
                             sentences.join(QLatin1Char(' ')), QStringLiteral("Replace")});
}

void AppModel::writePlan(const ExportPlan::Plan& plan)
{
    try {
        ExportPlan::refuseUnsafe(plan, {});
    } catch (const ExportPlan::ExportPlanError& error) {
        present(QString::fromUtf8(error.what()), saveLUTFailedTitle);
        return;
    }
    const GradePipeline pipeline = currentPipeline();
    const qint64 size = exportSize_;
    const std::string title = exportTitle().toStdString();  // the title is not sanitised
    const GradeRecipe::Mode mode = toRecipe(mode_);
    const SpaceConversion spaces = GradeRecipe::spacesOf(mode, settings_);
    struct Written {
        QStringList files;
        QString warning;  // what a format could not hold, said after the files
    };
    auto write = [pipeline, size, title, plan, mode, spaces] {
        const LUTStack lut = GradeRecipe::bake(mode, pipeline, spaces, size);
        LUTWriter::Options options;
        options.notes = GradeRecipe::spaceNotes(spaces);
        ExportPlan::writeStacks([&lut](LUTFormat) { return lut; }, plan, title, options);
        Written written;
        for (const ExportPlan::PlannedFile& file : plan) {
            written.files << QFile::decodeName(file.path.c_str());
            // The window bakes within 0 … 1, so a format loses only a scene-linear shaper.
            const auto dropped = GradeRecipe::shaperDropped(lut, spaces, file.format);
            if (dropped && written.warning.isEmpty())
                written.warning = QString::fromStdString(*dropped);
        }
        return written;
    };
    changeBusy(+1);
    // After the previous export has landed: two exports to one name end with the later one.
    lastExport_ =
        lastExport_.then(QtFuture::Launch::Async, [write]() mutable { return outcomeOf(write); })
            .then(this, [this](const Outcome<Written>& outcome) {
                if (outcome.value && !outcome.value->files.isEmpty()) {
                    QStringList names;
                    for (const QString& file : outcome.value->files)
                        names << QStringLiteral("“%1”").arg(QFileInfo(file).fileName());
                    QString message = QStringLiteral("Saved ") + names.join(QStringLiteral(", "));
                    if (!outcome.value->warning.isEmpty())
                        message += QStringLiteral(". ") + outcome.value->warning;
                    showToast(message, QUrl::fromLocalFile(outcome.value->files.front()));
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
    request.nameFilters << text(LUTFormat(LUTFormat::hald).panelFilter());
    const auto chosen = panels_->chooseSaveLocation(request);
    if (!chosen)
        return;
    const QString path = *chosen;
    runInBackground([path] {
        ImageLoader::writePNG(HaldCLUT::identity(HaldCLUT::defaultLevel), fileSystemPath(path),
                              true);
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
