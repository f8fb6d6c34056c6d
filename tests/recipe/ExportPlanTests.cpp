#include "recipe/ExportPlan.hpp"

#include "color/LUT3D.hpp"
#include "io/FileIO.hpp"
#include "learners/GradePipeline.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/GradeRecipe.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

namespace lumivert {
namespace {

using namespace ExportPlan;
using std::filesystem::path;
using Files = std::vector<std::pair<std::string, LUTFormat>>;

Files flattened(const Plan& plan)
{
    Files result;
    for (const PlannedFile& file : plan)
        result.emplace_back(file.path.string(), file.format);
    return result;
}

ExportPlanError::Reason reasonOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const ExportPlanError& error) {
        return error.reason();
    }
    ADD_FAILURE() << "no ExportPlanError";
    return {};
}

TEST(ExportPlanChoices, TheCommandLineAndTheWindowSpellEachChoiceTheirOwnWay)
{
    const std::vector<std::tuple<ExportChoice, std::string, std::string>> spellings{
        {ExportChoice::cube, "cube", "cube"},    {ExportChoice::threeDL, "3dl", "threeDL"},
        {ExportChoice::hald, "hald", "hald"},    {ExportChoice::all, "all", "all"},
        {ExportChoice::clf, "clf", "clf"},       {ExportChoice::csp, "csp", "csp"},
        {ExportChoice::spi3d, "spi3d", "spi3d"}, {ExportChoice::icc, "icc", "icc"}};
    ASSERT_EQ(choices().size(), spellings.size());
    for (std::size_t i = 0; i < spellings.size(); ++i) {
        const auto& [choice, name, rawValue] = spellings[i];
        EXPECT_EQ(choices()[i].choice, choice);
        EXPECT_EQ(&recipe(choice), &choices()[i]);
        EXPECT_EQ(choiceNamed(name), choice);
        EXPECT_EQ(choiceFromRawValue(rawValue), choice);
    }
    EXPECT_EQ(choiceNamed("threeDL"), std::nullopt);
    EXPECT_EQ(choiceFromRawValue("3dl"), std::nullopt);
    EXPECT_EQ(choiceNamed("CUBE"), std::nullopt);
    // The panel lists the formats beyond its three under "More formats".
    EXPECT_FALSE(isMoreFormat(ExportChoice::all));
    EXPECT_TRUE(isMoreFormat(ExportChoice::clf));
}

TEST(ExportPlanChoices, EachSingleChoiceWritesItsFormatAndAllWritesEveryFormatInOrder)
{
    for (const LUTFormat format : LUTFormat::writableCases()) {
        const auto single = std::find_if(choices().begin(), choices().end(), [&](const auto& row) {
            return row.formats.size() == 1 && row.formats.front() == format;
        });
        EXPECT_NE(single, choices().end()) << format.rawValue();
    }
    const auto all = formats(ExportChoice::all);
    const auto every = LUTFormat::allCases();
    EXPECT_TRUE(std::equal(all.begin(), all.end(), every.begin(), every.end()));
}

TEST(ExportPlanFiles, TheExtensionPicksTheFormatWhenNoChoiceIsGiven)
{
    EXPECT_EQ(flattened(files(path("out/Teal.icc"), std::nullopt, "x")),
              (Files{{"out/Teal.icc", LUTFormat::icc}}));
    // A format that is only read is no output.
    EXPECT_EQ(reasonOf([] { files(path("Teal.spi1d"), std::nullopt, "x"); }),
              ExportPlanError::Reason::unknownExtension);
    EXPECT_EQ(flattened(files(path("out/Teal.3dl"), std::nullopt, "x")),
              (Files{{"out/Teal.3dl", LUTFormat::threeDL}}));
    EXPECT_EQ(flattened(files(path("Teal.PNG"), std::nullopt, "x")),
              (Files{{"Teal.PNG", LUTFormat::hald}}));
    try {
        files(path("dir/Teal.txt"), std::nullopt, "x");
        ADD_FAILURE() << "a .txt output was planned";
    } catch (const ExportPlanError& error) {
        EXPECT_EQ(error.reason(), ExportPlanError::Reason::unknownExtension);
        EXPECT_EQ(error.file(), path("dir/Teal.txt"));
        EXPECT_STREQ(error.what(),
                     "The output \u201CTeal.txt\u201D needs the extension .cube, .3dl, .png, .clf, "
                     ".csp, .spi3d or .icc.");
    }
    EXPECT_EQ(reasonOf([] { files(path("Teal"), std::nullopt, "x"); }),
              ExportPlanError::Reason::unknownExtension);
}

TEST(ExportPlanFiles, AChoiceWritesItsFormatsBesideEachOtherInExportOrder)
{
    EXPECT_EQ(flattened(files(path("dir/Teal.cube"), ExportChoice::all, "x")),
              (Files{{"dir/Teal.cube", LUTFormat::cube},
                     {"dir/Teal.3dl", LUTFormat::threeDL},
                     {"dir/Teal.png", LUTFormat::hald}}));
    // A dot inside the name is not an extension; a LUT extension is, in any case.
    EXPECT_EQ(flattened(files(path("Teal.v2"), ExportChoice::hald, "x")),
              (Files{{"Teal.v2.png", LUTFormat::hald}}));
    EXPECT_EQ(flattened(files(path("Teal.CUBE"), ExportChoice::threeDL, "x")),
              (Files{{"Teal.3dl", LUTFormat::threeDL}}));
}

TEST(ExportPlanFiles, WithoutAnOutputTheSanitisedNameNamesTheFiles)
{
    EXPECT_EQ(flattened(files(std::nullopt, std::nullopt, "A/B:C Look")),
              (Files{{"A-B-C Look.cube", LUTFormat::cube}}));
    const std::string fallback(GradeRecipe::defaultLUTName);
    EXPECT_EQ(flattened(files(std::nullopt, ExportChoice::threeDL, " \t")),
              (Files{{fallback + ".3dl", LUTFormat::threeDL}}));
    EXPECT_EQ(flattened(files(std::nullopt, ExportChoice::all, "")),
              (Files{{fallback + ".cube", LUTFormat::cube},
                     {fallback + ".3dl", LUTFormat::threeDL},
                     {fallback + ".png", LUTFormat::hald}}));
}

TEST(ExportPlanNames, SanitisingReplacesEachForbiddenCharacterAndTrims)
{
    EXPECT_EQ(sanitisedFileName("  a//b?c%d*e|f\"g<h>i\\j:k \t"), "a--b-c-d-e-f-g-h-i-j-k");
    EXPECT_EQ(sanitisedFileName("Caf\u00E9 Look"), "Caf\u00E9 Look");
    EXPECT_EQ(sanitisedFileName(" \t "), "");
}

TEST(ExportPlanNames, AnySanitisedNameIsOneSafeFileNameAndSanitisingAgainKeepsIt)
{
    const std::string alphabet = "ab /:\\?%*|\"<>\t.-\xC3\xA9";
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 2000; ++round) {
        std::string name;
        for (int i = length(random); i > 0; --i)
            name += alphabet[pick(random)];
        const std::string clean = sanitisedFileName(name);
        EXPECT_EQ(clean.find_first_of("/:\\?%*|\"<>"), std::string::npos) << name;
        if (!clean.empty()) {
            EXPECT_NE(clean.front(), ' ') << name;
            EXPECT_NE(clean.back(), '\t') << name;
            EXPECT_EQ(path(clean).filename(), path(clean)) << name;
        }
        EXPECT_EQ(sanitisedFileName(clean), clean) << name;
        // Nothing but blanks and dots sanitises to nothing; nothing else to a hidden name.
        EXPECT_NE(name.find_first_not_of(" \t.") == std::string::npos, !clean.empty()) << name;
        EXPECT_FALSE(clean.starts_with('.')) << name;
    }
}

// A title never names a hidden file or a folder: its dots in front go, and a title of nothing
// else gives the default name, whatever the formats.
TEST(ExportPlanNames, TitlesThatWouldHideTheFileGiveVisibleNames)
{
    const std::string fallback(GradeRecipe::defaultLUTName);
    const std::vector<std::pair<std::string, std::string>> rows{
        {".cube", "cube"}, {"..", fallback},       {".", fallback},
        {"...", fallback}, {" . Teal", "Teal"},    {".hidden look", "hidden look"},
        {"../up", "-up"},  {"Teal.v2", "Teal.v2"}, {"Look.", "Look."},
        {"./.", "-."},     {" .. \t", fallback},
    };
    for (const auto& [title, base] : rows) {
        EXPECT_EQ(flattened(files(std::nullopt, std::nullopt, title)),
                  (Files{{base + ".cube", LUTFormat::cube}}))
            << title;
        for (const auto& planned : files(std::nullopt, ExportChoice::all, title)) {
            EXPECT_FALSE(planned.path.filename().string().starts_with('.')) << title;
            EXPECT_EQ(planned.path.parent_path(), path()) << title;
        }
    }
}

class ExportPlanGuards : public fixtures::FolderTest {
protected:
    void touch(const path& file) { std::ofstream(file) << "x"; }
};

TEST_F(ExportPlanGuards, NoPlannedFileMayBeAnInputUnderAnyName)
{
    const path graded = folder_ / "graded.png";
    touch(graded);
    std::filesystem::create_directory(folder_ / "sub");
    std::filesystem::create_hard_link(graded, folder_ / "linked.png");
    for (const path& output :
         {folder_ / "graded", folder_ / "sub/../graded.cube", folder_ / "linked.cube"}) {
        const Plan plan = files(output, ExportChoice::all, "x");
        try {
            refuseUnsafe(plan, std::vector<path>{folder_ / "other.jpg", graded});
            ADD_FAILURE() << output;
        } catch (const ExportPlanError& error) {
            EXPECT_EQ(error.reason(), ExportPlanError::Reason::replacesInput);
            EXPECT_EQ(error.file(), plan.back().path);
            EXPECT_EQ(std::string(error.what()),
                      "\u201C" + plan.back().path.filename().string() +
                          "\u201D is an input and would be replaced; choose another output.");
        }
    }
    EXPECT_NO_THROW(refuseUnsafe(files(folder_ / "graded", ExportChoice::cube, "x"),
                                 std::vector<path>{graded}));
    EXPECT_NO_THROW(
        refuseUnsafe(files(folder_ / "Graded", ExportChoice::all, "x"), std::vector<path>{graded}));
}

TEST_F(ExportPlanGuards, NoTwoPlannedFilesMayBeOneFile)
{
    std::filesystem::create_directory(folder_ / "sub");
    const Plan plan{{folder_ / "x.cube", LUTFormat::cube},
                    {folder_ / "sub/../x.cube", LUTFormat::threeDL}};
    EXPECT_EQ(reasonOf([&] { refuseUnsafe(plan, {}); }), ExportPlanError::Reason::sharedPath);
    touch(folder_ / "x.cube");
    std::filesystem::create_symlink(folder_ / "x.cube", folder_ / "y.3dl");
    EXPECT_EQ(reasonOf([&] {
                  refuseUnsafe({{folder_ / "x.cube", LUTFormat::cube},
                                {folder_ / "y.3dl", LUTFormat::threeDL}},
                               {});
              }),
              ExportPlanError::Reason::sharedPath);
    EXPECT_NO_THROW(refuseUnsafe(files(folder_ / "x", ExportChoice::all, "x"), {}));
}

TEST_F(ExportPlanGuards, ExistingFilesAreThePlannedOnesOnDiskInPlanOrder)
{
    const Plan plan = files(folder_ / "Teal", ExportChoice::all, "x");
    EXPECT_TRUE(existingFiles(plan).empty());
    touch(folder_ / "Teal.png");
    touch(folder_ / "Teal.cube");
    touch(folder_ / "Teal.txt");
    EXPECT_EQ(existingFiles(plan),
              (std::vector<path>{folder_ / "Teal.cube", folder_ / "Teal.png"}));
}

// A table that is not the identity, so a format that drops or reorders entries shows.
LUT3D curvedTable(std::int64_t size)
{
    LUT3D lut = LUT3D::identity(size);
    std::vector<RGB> values = lut.values();
    for (RGB& entry : values)
        entry = {std::pow(entry.r, 0.8f), entry.g * 0.9f + 0.05f, std::sqrt(entry.b)};
    return LUT3D(size, std::move(values));
}

class ExportPlanWriting : public fixtures::FolderTest {};

// Written together, each file is byte for byte what its format's own writer writes alone.
TEST_F(ExportPlanWriting, EveryPlannedFileIsWhatItsFormatWritesAlone)
{
    const LUT3D lut = curvedTable(17);
    const Plan plan = files(folder_ / "Teal", ExportChoice::all, "Teal");
    std::filesystem::create_directory(folder_ / "alone");
    write(lut, plan, "Teal & Orange");
    for (const PlannedFile& file : plan) {
        const path alone = folder_ / "alone" / file.path.filename();
        LUTWriter::write(lut, file.format, "Teal & Orange", alone);
        EXPECT_EQ(contents(file.path), contents(alone)) << file.path;
    }
    const auto entries = std::distance(std::filesystem::directory_iterator(folder_),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 4);
}

// A grade baked as it is written (whole rows per block, a .cube never held whole) writes the
// bytes of the same grade baked first, in every format, at sizes of one block and of several.
TEST_F(ExportPlanWriting, AGradeBakedAsItIsWrittenGivesTheBakedTablesBytes)
{
    const GradePipeline pipeline(std::make_shared<const LUT3D>(curvedTable(9)), 0.8f,
                                 FineTune{0.1f, -0.2f, 0.3f, 0.0f});
    std::filesystem::create_directory(folder_ / "baked");
    for (const std::int64_t size : {17, 70}) {
        const Plan plan = files(folder_ / "Look", ExportChoice::all, "Look");
        const Plan bakedPlan = files(folder_ / "baked" / "Look", ExportChoice::all, "Look");
        const Bake bake{[size](LUTFormat format) {
                            return format == LUTFormat::hald ? std::int64_t{64} : size;
                        },
                        [&pipeline](std::int64_t n, std::int64_t firstRow, std::span<RGB> out) {
                            pipeline.makeRows(n, firstRow, out);
                        }};
        write(bake, plan, "Look");
        write([&](LUTFormat format) { return pipeline.makeLUT(bake.sizeFor(format)); }, bakedPlan,
              "Look");
        for (std::size_t i = 0; i < plan.size(); ++i)
            EXPECT_EQ(contents(plan[i].path), contents(bakedPlan[i].path))
                << size << " points, " << plan[i].path.filename();
    }
}

using ExportPlanWritingDeathTest = ExportPlanWriting;

// Runs in a fresh process. The file-size limit (which binds root too, standing in for a full
// disk) lets the files before the last through and stops the last: every original must stay as
// it was, with nothing beside it. Exits 0 when that holds.
[[noreturn]] void exportAllBeyondTheSizeLimit(const path& folder)
{
    const LUT3D lut = curvedTable(17);
    const Plan plan = files(folder / "Look", ExportChoice::all, "Look");
    std::vector<std::size_t> sizes;
    for (const PlannedFile& file : plan) {
        sizes.push_back(file.format.encoder()(lut, "Look", file.path, {}).size());
        std::ofstream(file.path) << "the user's " << file.path.extension().string();
    }
    // The HALD image, written last, is the largest: the text files before it fit.
    const std::size_t largest = sizes.back();
    if (std::max_element(sizes.begin(), sizes.end()) != sizes.end() - 1)
        std::exit(2);
    const rlim_t limit = largest - 1;
    const rlimit smaller{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &smaller);
    bool failed = false;
    try {
        write(lut, plan, "Look");
    } catch (const FileError& error) {
        failed = error.code() == std::errc::file_too_large;
    }
    bool kept = true;
    for (const PlannedFile& file : plan) {
        std::ifstream in(file.path);
        kept = kept && std::string(std::istreambuf_iterator<char>(in), {}) ==
                           "the user's " + file.path.extension().string();
    }
    const auto entries = std::distance(std::filesystem::directory_iterator(folder),
                                       std::filesystem::directory_iterator());
    std::exit(failed && kept && entries == 3 ? 0 : 1);
}

TEST_F(ExportPlanWritingDeathTest, AFullDiskOnOneFileKeepsEveryOriginal)
{
    // A fresh process: the image encoder's worker threads do not survive a plain fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exportAllBeyondTheSizeLimit(folder_), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lumivert
