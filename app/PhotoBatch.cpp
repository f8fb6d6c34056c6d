#include "PhotoBatch.hpp"

#include "color/Precondition.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QtConcurrent>

#include <algorithm>
#include <set>
#include <system_error>

namespace lumivert {

namespace {

using std::filesystem::path;

path fileSystemPath(const QString& file) { return QFile::encodeName(file).toStdString(); }

bool isPhoto(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    const auto extensions = ImageLoader::readableExtensions();
    return std::any_of(extensions.begin(), extensions.end(), [&suffix](std::string_view known) {
        return suffix == QLatin1String(known.data(), static_cast<qsizetype>(known.size()));
    });
}

QString titled(std::string_view title, const QString& message)
{
    return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())) +
           QStringLiteral(": ") + message;
}

}  // namespace

PhotoBatch::PhotoBatch(QObject* parent)
    : QObject(parent), cancelled_(std::make_shared<std::atomic<bool>>(false))
{
}

PhotoBatch::~PhotoBatch()
{
    // The worker writes into files the user asked for: it finishes the files it began.
    cancel();
    future_.waitForFinished();
}

std::vector<path> PhotoBatch::photosIn(const QStringList& paths)
{
    std::vector<path> photos;
    std::set<QString> seen;
    const auto add = [&](const QString& file) {
        const QString absolute = QFileInfo(file).absoluteFilePath();
        if (isPhoto(absolute) && seen.insert(absolute).second)
            photos.push_back(fileSystemPath(absolute));
    };
    for (const QString& entry : paths) {
        if (!QFileInfo(entry).isDir()) {
            add(entry);
            continue;
        }
        const QDir folder(entry);
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
            add(folder.filePath(name));
    }
    return photos;
}

std::vector<BatchApply::Job> PhotoBatch::plan(const Request& request)
{
    std::vector<BatchApply::Job> jobs =
        BatchApply::jobsInFolder(request.photos, request.folder, request.type);
    std::vector<path> outputs;
    for (const BatchApply::Job& job : jobs)
        outputs.push_back(job.output);
    std::vector<path> kept = request.photos;
    kept.insert(kept.end(), request.kept.begin(), request.kept.end());
    ExportPlan::refuseReplacingInputs(outputs, kept);
    return jobs;
}

QStringList PhotoBatch::existingOutputs(const std::vector<BatchApply::Job>& jobs)
{
    QStringList existing;
    for (const BatchApply::Job& job : jobs) {
        std::error_code error;
        if (std::filesystem::exists(job.output, error))
            existing << QFile::decodeName(job.output.c_str());
    }
    return existing;
}

void PhotoBatch::start(const Request& request, std::vector<BatchApply::Job> jobs)
{
    LUMIVERT_PRECONDITION(!running_, "one batch at a time");
    running_ = true;
    cancelled_->store(false);
    const std::shared_ptr<std::atomic<bool>> cancelled = cancelled_;
    // The destructor waits for the worker, so `this` outlives it; what it posts to a destroyed
    // batch is dropped with the batch.
    future_ = QtConcurrent::run([this, cancelled, request, jobs = std::move(jobs)] {
        Summary summary;
        summary.total = jobs.size();
        std::error_code error;
        std::filesystem::create_directories(request.folder, error);
        if (error) {
            summary.failures << titled(GradeRecipe::saveImageFailedTitle,
                                       QStringLiteral("The folder “%1” could not be created: %2.")
                                           .arg(QFile::decodeName(request.folder.c_str()),
                                                QString::fromStdString(error.message())));
        } else {
            BatchApply::Options options = request.options;
            options.strength = request.grade.strength;
            std::size_t processed = 0;  // written or failed; the batch calls one at a time
            const auto failures = BatchApply::applyAll(
                request.grade.lut, jobs, options,
                [this, &processed](std::size_t done, std::size_t total, const BatchApply::Job&) {
                    processed = done;
                    QMetaObject::invokeMethod(
                        this,
                        [this, done, total] {
                            Q_EMIT progressed(static_cast<int>(done), static_cast<int>(total));
                        },
                        Qt::QueuedConnection);
                },
                cancelled.get());
            for (const BatchApply::Failure& failure : failures)
                summary.failures << QString::fromStdString(failure.message);
            summary.cancelled = cancelled->load() && processed < jobs.size();
            summary.written = processed - failures.size();
        }
        QMetaObject::invokeMethod(
            this,
            [this, summary] {
                running_ = false;
                Q_EMIT finished(summary);
            },
            Qt::QueuedConnection);
    });
}

void PhotoBatch::cancel() { cancelled_->store(true); }

}  // namespace lumivert
