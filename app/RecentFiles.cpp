#include "RecentFiles.hpp"

#include <QFileInfo>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>

namespace lumivert {

namespace {

const QString recentFilesKey = QStringLiteral("recentFiles");
const QString pathKey = QStringLiteral("path");
const QString lutKey = QStringLiteral("lut");

bool missing(const RecentFiles::Entry& entry) { return !QFileInfo::exists(entry.path); }

}  // namespace

RecentFiles::RecentFiles(QSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings)
{
}

std::vector<RecentFiles::Entry> RecentFiles::stored() const
{
    std::vector<Entry> entries;
    for (const QVariant& item : settings_.value(recentFilesKey).toList()) {
        const QVariantMap map = item.toMap();
        if (!map.value(pathKey).toString().isEmpty())
            entries.push_back({map.value(pathKey).toString(), map.value(lutKey).toBool()});
    }
    return entries;
}

void RecentFiles::store(const std::vector<Entry>& entries)
{
    QVariantList list;
    for (const Entry& entry : entries)
        list.push_back(QVariantMap{{pathKey, entry.path}, {lutKey, entry.lut}});
    settings_.setValue(recentFilesKey, list);
    Q_EMIT changed();
}

std::vector<RecentFiles::Entry> RecentFiles::entries() const
{
    std::vector<Entry> entries = stored();
    std::erase_if(entries, missing);
    if (entries.size() > maxFiles)
        entries.resize(maxFiles);
    return entries;
}

void RecentFiles::add(const QString& path, bool lut)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    std::vector<Entry> entries = stored();
    // Missing files go when the list is written, so they do not take the places of real ones.
    std::erase_if(entries,
                  [&file](const Entry& entry) { return entry.path == file || missing(entry); });
    entries.insert(entries.begin(), {file, lut});
    if (entries.size() > maxFiles)
        entries.resize(maxFiles);
    store(entries);
}

void RecentFiles::clear() { store({}); }

}  // namespace lumivert
