#include "cli/OutputPlan.hpp"

#include <gtest/gtest.h>

namespace lumivert {
namespace {

using std::filesystem::path;

std::vector<std::pair<std::string, LUTFormat>> flattened(const std::vector<PlannedFile>& files)
{
    std::vector<std::pair<std::string, LUTFormat>> result;
    for (const PlannedFile& file : files)
        result.emplace_back(file.path.string(), file.format);
    return result;
}

TEST(OutputPlanFiles, TheExtensionPicksTheFormatWhenNoneIsGiven)
{
    using Files = std::vector<std::pair<std::string, LUTFormat>>;
    EXPECT_EQ(flattened(OutputPlan::files(path("out/Teal.3dl"), std::nullopt, "x")),
              (Files{{"out/Teal.3dl", LUTFormat::threeDL}}));
    EXPECT_EQ(flattened(OutputPlan::files(path("Teal.PNG"), std::nullopt, "x")),
              (Files{{"Teal.PNG", LUTFormat::hald}}));
    EXPECT_THROW(OutputPlan::files(path("Teal.txt"), std::nullopt, "x"), UsageError);
    EXPECT_THROW(OutputPlan::files(path("Teal"), std::nullopt, "x"), UsageError);
}

TEST(OutputPlanFiles, AllWritesTheThreeFormatsBesideEachOtherInExportOrder)
{
    using Files = std::vector<std::pair<std::string, LUTFormat>>;
    EXPECT_EQ(flattened(OutputPlan::files(path("dir/Teal.cube"), std::string("all"), "x")),
              (Files{{"dir/Teal.cube", LUTFormat::cube},
                     {"dir/Teal.3dl", LUTFormat::threeDL},
                     {"dir/Teal.png", LUTFormat::hald}}));
    // A dot inside the name is not an extension.
    EXPECT_EQ(flattened(OutputPlan::files(path("Teal.v2"), std::string("hald"), "x")),
              (Files{{"Teal.v2.png", LUTFormat::hald}}));
    EXPECT_THROW(OutputPlan::files(path("a.cube"), std::string("csp"), "x"), UsageError);
}

TEST(OutputPlanFiles, WithoutAnOutputTheSanitisedTitleNamesTheFiles)
{
    using Files = std::vector<std::pair<std::string, LUTFormat>>;
    EXPECT_EQ(flattened(OutputPlan::files(std::nullopt, std::nullopt, "A/B:C Look")),
              (Files{{"A-B-C Look.cube", LUTFormat::cube}}));
    EXPECT_EQ(flattened(OutputPlan::files(std::nullopt, std::string("3dl"), " \t")),
              (Files{{"Lumivert Look.3dl", LUTFormat::threeDL}}));
}

TEST(OutputPlanNames, SanitisingReplacesEachForbiddenCharacterAndTrims)
{
    EXPECT_EQ(OutputPlan::sanitisedFileName("  a//b?c%d*e|f\"g<h>i\\j:k \t"),
              "a--b-c-d-e-f-g-h-i-j-k");
    EXPECT_EQ(OutputPlan::sanitisedFileName("Caf\u00E9 Look"), "Caf\u00E9 Look");
}

}  // namespace
}  // namespace lumivert
