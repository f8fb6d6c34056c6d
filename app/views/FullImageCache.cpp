#include "FullImageCache.hpp"

#include "imaging/ImageLoader.hpp"

#include <QFile>
#include <QFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace lumivert {

namespace {

// Only the display image is kept: the float pixels are four times its size and never drawn.
std::optional<Image8> loadDisplayImage(const QString& path)
{
    try {
        return ImageLoader::loadFull(QFile::encodeName(path).toStdString()).image.image();
    } catch (const ImageLoaderError&) {
        return std::nullopt;
    }
}

}  // namespace

FullImageCache::FullImageCache(QObject* parent) : QObject(parent) {}

void FullImageCache::want(const QStringList& paths)
{
    wanted_ = paths.mid(0, capacity);
    std::erase_if(images_, [this](const auto& entry) { return !wanted_.contains(entry.first); });
    std::erase_if(failed_, [this](const QString& path) { return !wanted_.contains(path); });
    for (const QString& path : wanted_) {
        if (images_.contains(path) || loading_.contains(path) || failed_.contains(path))
            continue;
        loading_.insert(path);
        QPointer<FullImageCache> self(this);
        QtConcurrent::run([path] {
            return loadDisplayImage(path);
        }).then(this, [this, path](const std::optional<Image8>& image) { finish(path, image); });
    }
}

std::optional<Image8> FullImageCache::image(const QString& path) const
{
    const auto found = images_.find(path);
    return found == images_.end() ? std::nullopt : std::optional(found->second);
}

void FullImageCache::finish(const QString& path, const std::optional<Image8>& image)
{
    loading_.erase(path);
    // A file let go while it loaded is dropped: the user has moved on.
    if (!wanted_.contains(path))
        return;
    if (!image) {
        failed_.insert(path);
        return;
    }
    images_.insert_or_assign(path, *image);
    Q_EMIT loaded();
}

}  // namespace lumivert
