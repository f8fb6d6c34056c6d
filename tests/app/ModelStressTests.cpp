#include "AppModel.hpp"
#include "ModelFixtures.hpp"

#include "recipe/Adjustments.hpp"

#include "lut/LUTWriter.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QFile>
#include <QTest>

#include <cmath>
#include <random>
#include <set>
#include <vector>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int actionCount = 120;
constexpr int checkEvery = 40;
constexpr int maxPauseMs = 12;

// An export and the file it must hold: the table of the settings when it was asked for.
struct ExpectedExport {
    QString path;
    QByteArray contents;
};

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool hasResultOf(const AppModel& model, Mode mode)
{
    switch (mode) {
    case Mode::look: return model.lookAnalysis().has_value();
    case Mode::match: return model.matchAnalysis().has_value();
    case Mode::edit: return model.editFit().has_value();
    case Mode::hald: return model.haldLUT() != nullptr;
    }
    return false;
}

// Random steps a user could take, seeded, with short pauses in which jobs land.
class Driver {
public:
    Driver(AppModel& model, ModelHarness& harness, unsigned seed)
        : model_(model), harness_(harness), random_(seed)
    {
        photos_ = {harness.writePhoto(QStringLiteral("Amber"), {1, 0.8f, 0.6f}, 48, 32),
                   harness.writePhoto(QStringLiteral("Teal"), {0.6f, 0.9f, 1}, 48, 32),
                   harness.writePhoto(QStringLiteral("Plain"), {1, 1, 1}, 48, 32)};
        hald_ = harness.writeHald(QStringLiteral("Graded"), {1, 0.85f, 0.7f});
        QObject::connect(&model, &AppModel::imagesChanged, &model, [this] {
            for (Slot slot : removed_)
                if (model_.images().contains(slot))
                    ++reappeared_;
        });
    }

    void step()
    {
        switch (pick(9)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4: adjustRandomly(); break;
        case 5: model_.setMode(Modes::allCases()[pick(4)]); break;
        case 6:
        case 7: load(); break;
        case 8:
            if (pick(2) == 0)
                remove();
            else
                exportNow();
            break;
        }
    }

    // One adjustment of the table to random values within its range (a coarseness slider
    // runs logarithmically between its ends). The colour spaces stay sRGB: the settled checks
    // compare with the plain bake, and the spaces' own previews are tested in the model's tests.
    void adjustRandomly()
    {
        const auto rows = GradeRecipe::adjustments();
        const GradeRecipe::Adjustment& row = rows[pick(rows.size())];
        fixtures::adjust(model_, [&](GradeRecipe::Settings& settings) {
            if (row.kind != GradeRecipe::AdjustmentKind::numbers) {
                row.choose(settings, pick(row.choices.size()));
                settings.inputSpace = GradeRecipe::Settings{}.inputSpace;
                settings.outputSpace = GradeRecipe::Settings{}.outputSpace;
                return;
            }
            const GradeRecipe::Range range = row.range;
            for (const GradeRecipe::AdjustmentValue& value : row.values)
                value.field(settings) = static_cast<float>(
                    row.scale == GradeRecipe::AdjustmentScale::coarseness
                        ? range.lower * std::pow(range.upper / range.lower, unit())
                        : uniform(range));
        });
    }

    const std::set<Slot>& removed() const { return removed_; }
    int reappeared() const { return reappeared_; }
    const std::vector<ExpectedExport>& exports() const { return exports_; }

private:
    std::size_t pick(std::size_t count)
    {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
    }
    double unit() { return std::uniform_real_distribution<double>(0, 1)(random_); }
    double uniform(const GradeRecipe::Range& range)
    {
        return range.lower + (range.upper - range.lower) * unit();
    }
    Slot anySlot() { return Slots::allCases()[pick(Slots::allCases().size())]; }

    void load()
    {
        const Slot slot = anySlot();
        removed_.erase(slot);
        model_.load(slot == Slot::hald ? hald_ : photos_[pick(photos_.size())], slot);
    }

    void remove()
    {
        const Slot slot = anySlot();
        removed_.insert(slot);
        model_.remove(slot);
    }

    void exportNow()
    {
        if (!model_.hasResult() && model_.settings().fineTune.isNeutral())
            return;
        const std::int64_t size = GradeRecipe::exportSizes.front();
        model_.setExportSize(size);
        const QString title = model_.lutName().isEmpty()
                                  ? QString::fromUtf8(GradeRecipe::defaultLUTName.data(),
                                                      GradeRecipe::defaultLUTName.size())
                                  : model_.lutName();
        const LUT3D lut = model_.currentPipeline().makeLUT(size);
        const QString path =
            harness_.path(QStringLiteral("export %1.cube").arg(exports_.size() + 1));
        exports_.push_back(
            {path, QByteArray::fromStdString(LUTWriter::cube(lut, title.toStdString()))});
        harness_.panels().answers.push_back(path);
        model_.exportLUT();
    }

    AppModel& model_;
    ModelHarness& harness_;
    std::mt19937 random_;
    std::vector<QString> photos_;
    QString hald_;
    std::set<Slot> removed_;  // removed and not loaded again since
    int reappeared_ = 0;
    std::vector<ExpectedExport> exports_;
};

}  // namespace

class ModelStressTests : public QObject {
    Q_OBJECT

private:
    // Once idle, what is shown is what the current settings make of the current input, and
    // nothing removed came back.
    static void checkSettled(const AppModel& model, const Driver& driver)
    {
        const LUT3D lut = model.currentPipeline().makeLUT(GradeRecipe::previewLatticeSize);
        const Image8 input = model.previewInput().image();
        QVERIFY(model.previewOriginal() == platformImage(input));
        QVERIFY(model.previewGraded() == platformImage(PreviewRenderer().render(input, lut)));
        QCOMPARE(model.neutralCurve().size(), std::size_t(lut.size()));
        for (std::int64_t i = 0; i < lut.size(); ++i)
            QCOMPARE(model.neutralCurve()[std::size_t(i)], lut(i, i, i));
        for (Slot slot : driver.removed()) {
            QVERIFY2(!model.images().contains(slot), qPrintable(Slots::rawValue(slot)));
            const auto mode = GradeRecipe::modeOf(toRecipe(slot));
            if (mode)
                QVERIFY2(!hasResultOf(model, fromRecipe(*mode)), qPrintable(Slots::rawValue(slot)));
        }
    }

private Q_SLOTS:
    void randomUseKeepsTheModelConsistent()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setExportChoice(ExportChoice::cube);
        Driver driver(*model, harness, 2026);
        std::mt19937 pauses(7);
        for (int action = 1; action <= actionCount; ++action) {
            driver.step();
            QTest::qWait(std::uniform_int_distribution<int>(0, maxPauseMs)(pauses));
            if (action % checkEvery == 0) {
                QVERIFY(waitUntilIdle(*model));
                checkSettled(*model, driver);
                if (QTest::currentTestFailed())
                    return;
            }
        }
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(driver.reappeared(), 0);
        QVERIFY(!driver.exports().empty());
        for (const ExpectedExport& expected : driver.exports())
            QVERIFY2(contentsOf(expected.path) == expected.contents, qPrintable(expected.path));
    }
};

QTEST_MAIN(ModelStressTests)
#include "ModelStressTests.moc"
