#include "recipe/Adjustments.hpp"

#include "io/SameFile.hpp"
#include "recipe/ExportPlan.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace lumivert {
namespace {

using namespace GradeRecipe;
using std::filesystem::path;

// Each adjustment sets its own fields only: moving one changes no other row, and copying it
// carries exactly that change.
TEST(AdjustmentTable, RowsAreDistinctAndOwnTheirFields)
{
    std::set<std::string_view> keys;
    std::set<std::string_view> options;
    std::set<std::string_view> variables;
    for (const Adjustment& row : adjustments()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        EXPECT_TRUE(options.insert(row.option).second) << row.key;
        EXPECT_TRUE(variables.insert(row.variable).second) << row.key;
        EXPECT_TRUE(row.option.starts_with("--")) << row.key;
        EXPECT_TRUE(row.variable.starts_with("LUMIVERT_")) << row.key;
        EXPECT_FALSE(row.undoName.empty()) << row.key;
        EXPECT_GT(row.step, 0) << row.key;
        EXPECT_EQ(&adjustmentKeyed(row.key), &row);
        EXPECT_EQ(row.kind == AdjustmentKind::numbers, !row.values.empty()) << row.key;
        EXPECT_EQ(row.kind == AdjustmentKind::numbers, row.choices.empty()) << row.key;

        Settings moved;
        if (row.kind == AdjustmentKind::numbers)
            for (const AdjustmentValue& value : row.values)
                value.field(moved) = static_cast<float>(row.range.lower);
        else
            row.choose(moved, row.choices.size() - 1);
        const auto changed = differences(Settings{}, moved);
        ASSERT_EQ(changed.size(), 1u) << row.key;
        EXPECT_EQ(changed.front(), &row);
        Settings copied;
        row.copy(moved, copied);
        EXPECT_EQ(copied, moved) << row.key;
    }
}

// Where two tables must agree: the gamut choice applies where a mode maps colours back, and
// the adjustments that refit belong to the mode that refits.
TEST(AdjustmentTable, AgreesWithTheModeTable)
{
    for (const ModeRecipe& mode : modes()) {
        EXPECT_EQ(adjustmentKeyed("gamutMapping").modes.contains(mode.mode), mode.mapsGamut);
        for (const Adjustment& row : adjustments())
            EXPECT_TRUE(!row.refits || !row.modes.contains(mode.mode) || mode.refits)
                << row.key << " in " << mode.id;
    }
}

struct TextCase {
    std::string_view key;
    std::vector<std::string_view> accepted, refused;
};

// The automation reads a variable as the command line reads its option.
TEST(AdjustmentText, IsReadAsTheCommandLineReadsIt)
{
    const TextCase cases[] = {
        {"intensity",
         {"0.5", "1.5e0", "+1"},
         {"nan", "inf", "7", "-3", "0,5", "1e309", " 1", "", "0x1p-1"}},
        {"fineTune", {"1, -1,,0.5,\t0 "}, {"nan,0,0,0", "1,2,0,0", "0,0,0", "0,0,0,0,0"}},
        {"lookSettings", {}, {"1,nan,1,1", "1e39,1,1,1"}},
        {"matchSettings", {"0.5,1.5"}, {"nan,1"}},
        {"editSmoothness", {"0.5"}, {"0.0005"}},
        {"gamutMapping", {"smooth"}, {"Smooth"}},
        {"extendEdit", {""}, {}},
        {"inputSpace", {"slog3-sgamut3cine", "linear-rec709"}, {"S-Log3", ""}},
        {"outputSpace", {"rec2020"}, {"acescg", "rec709 "}},
    };
    for (const TextCase& test : cases) {
        const Adjustment& row = adjustmentKeyed(test.key);
        for (const bool accepted : {true, false})
            for (const std::string_view text : accepted ? test.accepted : test.refused) {
                SCOPED_TRACE(std::string(test.key) + "=" + std::string(text));
                Settings settings;
                const auto problem = assignText(row, text, settings);
                EXPECT_EQ(!problem, accepted);
                if (problem) {
                    EXPECT_EQ(settings, Settings{});
                    EXPECT_NE(problem->find(row.variable), std::string::npos) << *problem;
                } else if (row.kind == AdjustmentKind::numbers) {
                    for (const AdjustmentValue& value : row.values)
                        EXPECT_TRUE(row.range.contains(value.of(settings)));
                }
            }
    }
    Settings settings;
    ASSERT_FALSE(assignText(adjustmentKeyed("fineTune"), "1, -1,,0.5,\t0 ", settings));
    EXPECT_EQ(settings.fineTune, (FineTune{1, -1, 0.5f, 0}));
}

TEST(AdjustmentText, ProblemsAreTheCommandLinesSentences)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(problemWith(adjustmentKeyed("intensity"), {{2.0f}}, "--intensity"),
              "The --intensity must lie between 0 and 1.5.");
    EXPECT_EQ(problemWith(adjustmentKeyed("fineTune"), {{0, 0, 2, 0}}, "--finetune"),
              "The --finetune values must lie between -1 and 1.");
    EXPECT_EQ(problemWith(adjustmentKeyed("fineTune"), {{0, nan, 0, 0}}, "--finetune"),
              "The values of --finetune must be finite numbers.");
    EXPECT_EQ(problemWith(adjustmentKeyed("intensity"), {{1.5f}}, "--intensity"), std::nullopt);
}

class OverwriteGuard : public fixtures::FolderTest {};

// One file under two names is one file, however it is spelt; two files are two.
TEST_F(OverwriteGuard, SameFileSeesThroughLinksAndSpellings)
{
    const path photo = folder_ / "photo.png";
    std::ofstream(photo) << "pixels";
    std::ofstream(folder_ / "other.png") << "pixels";
    std::filesystem::create_hard_link(photo, folder_ / "hard.png");
    std::filesystem::create_symlink(photo, folder_ / "soft.png");
    std::filesystem::create_directory(folder_ / "sub");
    for (const path& alias : {folder_ / "hard.png", folder_ / "soft.png",
                              folder_ / "sub" / ".." / "photo.png", folder_ / "." / "photo.png"})
        EXPECT_TRUE(sameFile(alias, photo)) << alias;
    EXPECT_FALSE(sameFile(folder_ / "other.png", photo));
    EXPECT_TRUE(sameFile(folder_ / "new.cube", folder_ / "sub" / ".." / "new.cube"));
    EXPECT_FALSE(sameFile(folder_ / "new.cube", folder_ / "new.3dl"));

    const path inputs[] = {folder_ / "other.png", photo};
    const path outputs[] = {folder_ / "out.png", folder_ / "soft.png"};
    EXPECT_EQ(ExportPlan::replacedInputs(outputs, inputs), std::vector<path>{outputs[1]});
    try {
        ExportPlan::refuseReplacingInputs(outputs, inputs);
        FAIL() << "an output that is an input is refused";
    } catch (const ExportPlan::ExportPlanError& error) {
        EXPECT_EQ(error.reason(), ExportPlan::ExportPlanError::Reason::replacesInput);
        EXPECT_STREQ(error.what(),
                     "\u201Csoft.png\u201D is an input and would be replaced; choose another "
                     "output.");
    }
    const std::string names[] = {"\u201Ca\u201D", "\u201Cb\u201D", "\u201Cc\u201D"};
    EXPECT_EQ(ExportPlan::replacesInputsText(names),
              "\u201Ca\u201D, \u201Cb\u201D and \u201Cc\u201D are inputs and would be replaced");
}

}  // namespace
}  // namespace lumivert
