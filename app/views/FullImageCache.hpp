#pragma once
// The photos of the preview at their full stored size, for the zoomed-in comparison. The model
// keeps a bounded copy of each photo; only when the user zooms past it is the whole file decoded,
// in the background. Memory stays bounded: only the files last asked for are kept (at most two,
// the comparison's two sides), as 8-bit display images.
#include "imaging/PackedImage.hpp"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <set>

namespace lumivert {

class FullImageCache : public QObject {
    Q_OBJECT

public:
    static constexpr int capacity = 2;

    explicit FullImageCache(QObject* parent = nullptr);

    // Keeps these files (the first `capacity`), lets every other go and starts loading the ones
    // not loaded yet. A file that failed to load is not tried again until it is let go.
    void want(const QStringList& paths);
    // The file's full-size display image once loaded.
    std::optional<Image8> image(const QString& path) const;
    bool loading() const { return !loading_.empty(); }

Q_SIGNALS:
    // A wanted file has been loaded.
    void loaded();

private:
    void finish(const QString& path, const std::optional<Image8>& image);

    QStringList wanted_;
    std::map<QString, Image8> images_;
    std::set<QString> loading_;
    std::set<QString> failed_;
};

}  // namespace lumivert
