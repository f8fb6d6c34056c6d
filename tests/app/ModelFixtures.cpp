#include "ModelFixtures.hpp"

#include "imaging/ImageLoader.hpp"
#include "lut/HaldCLUT.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

namespace lumivert::fixtures {

std::optional<QString> ScriptedPanels::next()
{
    if (answers.empty())
        return std::nullopt;
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> ScriptedPanels::chooseImage(const QString& message,
                                                   const QString& startFolder)
{
    imageMessages << message;
    imageFolders << startFolder;
    return next();
}

std::optional<QString> ScriptedPanels::chooseSaveLocation(const SaveRequest& request)
{
    saveRequests.push_back(request);
    return next();
}

bool ScriptedPanels::confirm(const Question& question)
{
    questions.push_back(question);
    if (confirmations.empty())
        return false;
    const bool answer = confirmations.front();
    confirmations.pop_front();
    return answer;
}

void ScriptedPanels::reveal(const QString& path) { revealed << path; }

ModelHarness::ModelHarness()
    : settings_(std::make_unique<QSettings>(folder_.filePath(QStringLiteral("settings.ini")),
                                            QSettings::IniFormat))
{
}

QString ModelHarness::writePhoto(const QString& name, const RGB& tint, int width, int height)
{
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width - 1);
            const float v = static_cast<float>(y) / static_cast<float>(height - 1);
            pixels.push_back(RGB{u, v, 0.5f * (u + v)} * tint);
        }
    const QString file = folder_.filePath(name + QStringLiteral(".png"));
    ImageLoader::writePNG(PixelBuffer(width, height, std::move(pixels)),
                          QFile::encodeName(file).toStdString(), false);
    return file;
}

QString ModelHarness::writeHald(const QString& name, const RGB& tint)
{
    constexpr int level = 4;
    PixelBuffer pixels = HaldCLUT::identity(level);
    for (RGB& pixel : pixels.mutablePixels())
        pixel = pixel * tint;
    const QString file = folder_.filePath(name + QStringLiteral(".png"));
    ImageLoader::writePNG(pixels, QFile::encodeName(file).toStdString(), true);
    return file;
}

std::unique_ptr<AppModel> ModelHarness::makeModel(const AppModel::Environment& environment)
{
    AppModel::Services services;
    services.settings = settings_.get();
    services.panels = &panels_;
    services.environment = environment;
    return std::make_unique<AppModel>(services);
}

PoolGate::PoolGate()
    : open_(std::make_shared<QSemaphore>()), held_(QThreadPool::globalInstance()->maxThreadCount())
{
    const auto arrived = std::make_shared<QSemaphore>();
    for (int worker = 0; worker < held_; ++worker)
        QThreadPool::globalInstance()->start([open = open_, arrived] {
            arrived->release();
            open->acquire();
        });
    arrived->acquire(held_);
}

PoolGate::~PoolGate() { releaseAll(); }

void PoolGate::releaseOne()
{
    if (held_ == 0)
        return;
    --held_;
    open_->release();
}

void PoolGate::releaseAll()
{
    open_->release(held_);
    held_ = 0;
}

bool waitUntilIdle(const AppModel& model, int timeoutMs)
{
    return QTest::qWaitFor([&] { return model.idle(); }, timeoutMs);
}

std::shared_ptr<bool> answerNextBox(const QString& objectName, const QString& buttonText,
                                    int timeoutMs)
{
    auto answered = std::make_shared<bool>(false);
    // Polls from the event loop, which the box's own loop keeps running while it waits.
    auto* poll = new QTimer(qApp);
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(poll, &QTimer::timeout, poll,
                     [poll, objectName, buttonText, deadline, answered] {
                         auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                         if (box && box->objectName() == objectName) {
                             for (QAbstractButton* button : box->buttons())
                                 if (button->text() == buttonText) {
                                     *answered = true;
                                     button->click();
                                     poll->deleteLater();
                                     return;
                                 }
                         }
                         if (deadline.hasExpired())
                             poll->deleteLater();
                     });
    poll->start(20);
    return answered;
}

}  // namespace lumivert::fixtures
