#include "LUTFileActions.hpp"

#include "AppModel.hpp"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace lumivert::LUTFileActions {

namespace {

// The folder of the last LUT file opened, apart from the images' and the exports'.
const QString lutDirectoryKey = QStringLiteral("lutDirectory");

QString text(std::string_view raw)
{
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

}  // namespace

QString nameFilters()
{
    QStringList patterns;
    QStringList filters;
    for (const LUTFormat format : LUTFormat::allCases()) {
        patterns << QStringLiteral("*.") + text(format.fileExtension());
        filters << text(format.panelFilter());
    }
    filters.prepend(QStringLiteral("LUT files (%1)").arg(patterns.join(QLatin1Char(' '))));
    return filters.join(QStringLiteral(";;"));
}

void choose(AppModel& model, QWidget* parent)
{
    QSettings& settings = model.defaultsStore();
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Open LUT"),
                                     settings.value(lutDirectoryKey).toString(), nameFilters());
    if (path.isEmpty())
        return;
    if (!model.capturing())
        settings.setValue(lutDirectoryKey, QFileInfo(path).absolutePath());
    model.openLUTFile(path);
}

}  // namespace lumivert::LUTFileActions
