#include "FileOpenQueue.hpp"

#include "AppModel.hpp"
#include "WellChoice.hpp"

namespace lumivert {

void FileOpenQueue::setModel(AppModel* model) { model_ = model; }

void FileOpenQueue::open(const QStringList& paths)
{
    pending_ += paths;
    flushPending();
}

void FileOpenQueue::flushPending()
{
    if (!model_)
        return;
    // A load still running does not fill its slot, so files opened together all aim at the same
    // slot and the last one started stays. With every well full the user picks the well.
    const QStringList paths = std::exchange(pending_, {});
    for (const QString& path : paths)
        if (AppModel::isLUTText(path))
            model_->openLUTFile(path);
        else if (const auto slot = WellChoice::target(*model_, nullptr))
            model_->load(path, *slot);
}

}  // namespace lumivert
