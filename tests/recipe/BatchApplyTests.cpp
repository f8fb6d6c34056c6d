#include "recipe/BatchApply.hpp"

#include "recipe/ExportPlan.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lumivert {
namespace {

using std::filesystem::path;

struct FolderCase {
    const char* name;
    std::vector<path> inputs;
    std::optional<ImageFileType> type;
    std::vector<path> outputs;  // empty: the inputs share an output
};

class JobsInFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(JobsInFolder, NamesEachOutputOrRefusesASharedOne)
{
    const FolderCase& row = GetParam();
    if (row.outputs.empty()) {
        try {
            BatchApply::jobsInFolder(row.inputs, "out", row.type);
            FAIL() << "two inputs were given one output";
        } catch (const ExportPlan::ExportPlanError& error) {
            EXPECT_EQ(error.reason(), ExportPlan::ExportPlanError::Reason::sharedPath);
            EXPECT_NE(std::string(error.what()).find("\u201C"), std::string::npos);
        }
        return;
    }
    const std::vector<BatchApply::Job> jobs = BatchApply::jobsInFolder(row.inputs, "out", row.type);
    ASSERT_EQ(jobs.size(), row.outputs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(jobs[i].input, row.inputs[i]);
        EXPECT_EQ(jobs[i].output, row.outputs[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, JobsInFolder,
    ::testing::Values(
        FolderCase{"KeepsWritableTypes", {"a/x.jpg", "b/y.tif"}, {}, {"out/x.jpg", "out/y.tif"}},
        FolderCase{"UnwritableBecomesPng",
                   {"a/raw.nef", "a/scan.bmp"},
                   {},
                   {"out/raw.png", "out/scan.png"}},
        FolderCase{"ChosenTypeReplacesEach",
                   {"a/x.jpg", "a/y.png"},
                   ImageFileType::tiff,
                   {"out/x.tif", "out/y.tif"}},
        FolderCase{"ChosenJpegAndWebp", {"a/x.v2.png"}, ImageFileType::webp, {"out/x.v2.webp"}},
        FolderCase{"SameNameInTwoFolders", {"a/x.jpg", "b/x.jpg"}, {}, {}},
        FolderCase{"ChosenTypeMakesTwoOne", {"a/x.jpg", "a/x.png"}, ImageFileType::png, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivert
