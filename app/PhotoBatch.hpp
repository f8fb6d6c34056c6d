#pragma once
// Apply to Photos: a grade applied to photo files in the background through the core's batch
// apply, the code `lumivert-cli apply` runs, so the window's files equal the command line's byte
// for byte. Reports progress and stops starting files once cancelled.
#include "AppModel.hpp"

#include "imaging/ImageLoader.hpp"
#include "recipe/BatchApply.hpp"

#include <QFuture>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace lumivert {

class PhotoBatch : public QObject {
    Q_OBJECT

public:
    struct Request {
        std::vector<std::filesystem::path> photos;
        std::filesystem::path folder;
        std::optional<ImageFileType> type;  // none: each photo keeps its own
        PhotoGrade grade;
        BatchApply::Options options;
        // Files that must survive, besides the photos: the opened LUT, the loaded images.
        std::vector<std::filesystem::path> kept;
    };

    struct Summary {
        std::size_t written = 0;
        std::size_t total = 0;
        bool cancelled = false;
        QStringList failures;  // one full sentence each, in photo order
    };

    explicit PhotoBatch(QObject* parent = nullptr);
    ~PhotoBatch() override;

    // The image files among `paths`, a folder standing for the image files directly inside it,
    // in the order given (a folder's in name order), each once.
    static std::vector<std::filesystem::path> photosIn(const QStringList& paths);
    // One job per photo inside the folder. Throws ExportPlanError when two photos would share an
    // output, or an output is one of the photos or of the kept files.
    static std::vector<BatchApply::Job> plan(const Request& request);
    // The planned outputs that exist already: what starting would replace.
    static QStringList existingOutputs(const std::vector<BatchApply::Job>& jobs);

    // Creates the folder and writes every job (stops when a batch is running).
    void start(const Request& request, std::vector<BatchApply::Job> jobs);
    void cancel();
    bool running() const { return running_; }

Q_SIGNALS:
    // Files finished of the total, on the main thread.
    void progressed(int done, int total);
    void finished(const lumivert::PhotoBatch::Summary& summary);

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
    bool running_ = false;
    QFuture<void> future_;
};

}  // namespace lumivert
