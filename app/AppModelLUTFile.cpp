// An opened LUT file: read with the core's reader, described by the same facts the command
// line's `info` prints, previewed and applied to photos as `lumivert-cli apply` applies it.
#include "AppModel.hpp"

#include "lut/LUTFormat.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <QFile>
#include <QFileInfo>

namespace lumivert {

namespace {

const QString readLUTFailedTitle = QString::fromUtf8(GradeRecipe::readLUTFailedTitle.data(),
                                                     GradeRecipe::readLUTFailedTitle.size());

}  // namespace

bool AppModel::isLUTText(const QString& path)
{
    const auto format = LUTFormat::fromPath(QFile::encodeName(path).toStdString());
    return format && *format != LUTFormat::hald;
}

void AppModel::openLUTFile(const QString& path)
{
    const std::filesystem::path location = QFile::encodeName(path).toStdString();
    const QString name = QFileInfo(path).completeBaseName();
    lutFileJob_.start(
        [location, path, name] {
            LUTFacts::LUTFile file = LUTFacts::read(location);
            std::vector<LUTFacts::Fact> facts = LUTFacts::facts(file);
            if (file.guessedTenBit)
                facts.push_back({"Warning", "no output depth declared and every value below "
                                            "1024, so read as 10-bit; a dark 12-bit grade would "
                                            "look four times too bright"});
            return OpenedLUT{path, name, std::move(file), std::move(facts)};
        },
        [this, path](const Outcome<OpenedLUT>& outcome) {
            if (!outcome.value) {
                present(outcome.error, readLUTFailedTitle);
                return;
            }
            lutFile_ = *outcome.value;
            Q_EMIT lutFileChanged();
            Q_EMIT fileOpened(path, true);
            if (showingLUTFile_) {
                // Another file replaces the one shown: its name and its grade.
                applyAutoName(*suggestedName());
                rebuildPreview();
            } else {
                setShowingLUTFile(true);
            }
        });
    updateIdle();
}

void AppModel::setShowingLUTFile(bool on)
{
    if (on == showingLUTFile_ || (on && !lutFile_))
        return;
    showingLUTFile_ = on;
    Q_EMIT showingLUTFileChanged();
    applyAutoName(suggestedName().value_or(QString()));
    rebuildPreview();
}

std::optional<LUT3D> AppModel::exactPreviewTable() const
{
    if (!showingLUTFile() || !settings_.fineTune.isNeutral() || !lutFile_->file.lut.isPlainTable())
        return std::nullopt;
    return lutFile_->file.lut.withStrength(settings_.intensity).table();
}

PhotoGrade AppModel::photoGrade() const
{
    if (showingLUTFile() && settings_.fineTune.isNeutral())
        return {lutFile_->file.lut, settings_.intensity};
    // Through the .cube text an export writes, so that the photos equal `apply` of that file.
    const LUT3D table = currentPipeline().makeLUT(exportSize_);
    return {LUTReader::cube(LUTWriter::cube(table, exportTitle().toStdString())).lut, 1.0f};
}

}  // namespace lumivert
