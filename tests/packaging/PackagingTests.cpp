// The installed face of the programs: one version everywhere, a desktop entry and AppStream data
// that the freedesktop tools accept, and LUT file types that reach the file manager.
#include "Shell.hpp"
#include "lut/LUTFormat.hpp"

#include "LumivertVersion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace lumivert {
namespace {

using testing::quoted;
using testing::readText;
using testing::shell;

const std::filesystem::path packaging = LUMIVERT_PACKAGING_DIR;
const std::filesystem::path packagingSource = LUMIVERT_PACKAGING_SOURCE_DIR;
const std::filesystem::path desktopEntry = LUMIVERT_DESKTOP_ENTRY;
const std::string appId = LUMIVERT_APP_ID;

// The window run without a display; under LeakSanitizer, Qt's probing of optional plugins is
// not a leak of ours (tests/lsan.supp).
std::string windowCommand(const std::string& arguments)
{
    return "QT_QPA_PLATFORM=offscreen LSAN_OPTIONS=suppressions=" LUMIVERT_SOURCE_DIR
           "/tests/lsan.supp " +
           quoted(LUMIVERT_APP_PATH) + " " + arguments;
}

std::vector<std::string> mimeTypesOfDesktopEntry()
{
    std::istringstream entry(readText(desktopEntry));
    for (std::string line; std::getline(entry, line);) {
        if (!line.starts_with("MimeType="))
            continue;
        std::vector<std::string> types;
        std::istringstream list(line.substr(line.find('=') + 1));
        for (std::string type; std::getline(list, type, ';');)
            types.push_back(type);
        return types;
    }
    return {};
}

// `mime-type type="…"` attributes of our shared-mime-info file.
std::vector<std::string> declaredMimeTypes()
{
    const std::string xml = readText(packagingSource / (appId + ".mime.xml"));
    const std::regex type(R"re(<mime-type type="([^"]+)")re");
    std::vector<std::string> types;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), type); it != std::sregex_iterator();
         ++it)
        types.push_back((*it)[1]);
    return types;
}

TEST(Version, EveryProgramReportsTheProjectsVersionAndCommit)
{
    // From a checkout the commit follows the version; from a source archive the version stands
    // alone.
    const std::regex text(R"(\d+\.\d+(\.\d+)?( \(commit [0-9a-f]{10,}\))?)");
    ASSERT_TRUE(std::regex_match(std::string(LUMIVERT_VERSION_TEXT), text));
    EXPECT_TRUE(std::string(LUMIVERT_VERSION_TEXT).starts_with(LUMIVERT_PROJECT_VERSION));
    EXPECT_EQ(shell(quoted(LUMIVERT_CLI_PATH) + " --version").out,
              "lumivert-cli " LUMIVERT_VERSION_TEXT "\n");
    EXPECT_EQ(shell(windowCommand("--version")).out, "Lumivert " LUMIVERT_VERSION_TEXT "\n");
}

TEST(Version, ManualPagesChangelogAndAppStreamCarryTheSameNumber)
{
    const std::string version = LUMIVERT_PROJECT_VERSION;
    const std::pair<std::string, std::string> mentions[] = {
        {"reference/lumivert-cli.1", "\"lumivert\\-cli " + version},
        {"reference/lumivert.1", "\"lumivert " + version + "\""},
        {appId + ".metainfo.xml", "<release version=\"" + version + "\""},
    };
    for (const auto& [file, mention] : mentions)
        EXPECT_NE(readText(packaging / file).find(mention), std::string::npos) << file;
    EXPECT_TRUE(readText(packaging / "changelog").starts_with("lumivert (" + version + ") "));
}

TEST(WindowManual, ListsEveryOptionTheWindowAccepts)
{
    // --help lists the window's own options; Qt's (--platform, --style, …) are Qt's to document.
    const testing::ShellResult help = shell(windowCommand("--help"));
    ASSERT_EQ(help.status, 0);
    const testing::ShellResult page =
        shell("MAN_DISABLE_SECCOMP=1 MANWIDTH=250 LC_ALL=C.UTF-8 man -l " +
              quoted((packaging / "reference/lumivert.1").string()));
    ASSERT_EQ(page.status, 0);
    const std::regex option(R"(--[a-z][a-z-]*)");
    int count = 0;
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
         it != std::sregex_iterator(); ++it, ++count)
        EXPECT_NE(page.out.find(it->str()), std::string::npos) << it->str();
    EXPECT_GE(count, 3);
}

TEST(DesktopIntegration, LutFileTypesCoverEveryTextFormatTheReaderTakes)
{
    const std::vector<std::string> declared = declaredMimeTypes();
    const std::string xml = readText(packagingSource / (appId + ".mime.xml"));
    const std::string systemGlobs = readText("/usr/share/mime/globs2");
    for (const LUTFormat format : LUTFormat::allCases()) {
        const std::string glob = "*." + std::string(format.fileExtension());
        // A HALD image is a PNG, which the system already knows.
        const bool ours = xml.find("pattern=\"" + glob + "\"") != std::string::npos;
        const bool systems = systemGlobs.find(":" + glob + "\n") != std::string::npos;
        EXPECT_TRUE(ours != systems) << glob;
    }
    const std::vector<std::string> offered = mimeTypesOfDesktopEntry();
    for (const std::string& type : declared)
        EXPECT_NE(std::find(offered.begin(), offered.end(), type), offered.end()) << type;
    EXPECT_NE(std::find(offered.begin(), offered.end(), "image/png"), offered.end());
}

TEST(DesktopIntegration, SharedMimeInfoMapsLutFilesToOurTypes)
{
    if (!testing::installed("update-mime-database")) {
        std::cout << "update-mime-database (shared-mime-info) is missing; not checked.\n";
        return;
    }
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("lumivert-mime-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "mime/packages");
    std::filesystem::copy_file("/usr/share/mime/packages/freedesktop.org.xml",
                               root / "mime/packages/freedesktop.org.xml");
    std::filesystem::copy_file(packagingSource / (appId + ".mime.xml"),
                               root / "mime/packages" / (appId + ".xml"));
    ASSERT_EQ(shell("update-mime-database " + quoted((root / "mime").string()) + " 2>&1").status,
              0);
    for (const char* glob : {":application/x-cube-lut:*.cube", ":application/x-3dl-lut:*.3dl"})
        EXPECT_NE(readText(root / "mime/globs2").find(glob), std::string::npos) << glob;
    EXPECT_NE(readText(root / "mime/subclasses").find("application/x-cube-lut text/plain"),
              std::string::npos);
    std::filesystem::remove_all(root);
}

TEST(DesktopIntegration, FreedesktopValidatorsAcceptTheEntryAndTheAppStreamData)
{
    const std::vector<std::pair<std::string, std::string>> checks = {
        {"desktop-file-validate", "desktop-file-validate " + quoted(desktopEntry.string())},
        // Offline: the screenshots' addresses cannot be fetched here.
        {"appstreamcli", "appstreamcli validate --no-net --pedantic " +
                             quoted((packaging / (appId + ".metainfo.xml")).string())},
    };
    for (const auto& [tool, command] : checks) {
        if (!testing::installed(tool)) {
            std::cout << tool << " is missing (scripts/install-deps); not checked.\n";
            continue;
        }
        const testing::ShellResult result = shell(command + " 2>&1");
        EXPECT_EQ(result.status, 0) << result.out;
    }
}

TEST(DesktopIntegration, AppStreamDataDescribesWhatThePackageInstalls)
{
    const std::string metainfo = readText(packaging / (appId + ".metainfo.xml"));
    EXPECT_NE(metainfo.find("<id>" + appId + "</id>"), std::string::npos);
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + appId + ".desktop</launchable>"),
              std::string::npos);
    EXPECT_EQ(desktopEntry.filename(), appId + ".desktop");
    for (const std::string& type : declaredMimeTypes())
        EXPECT_NE(metainfo.find("<mediatype>" + type + "</mediatype>"), std::string::npos) << type;
    // Each screenshot is one the README shows, at the same path in the source tree.
    const std::regex image(R"(/(docs/screenshots/[a-z-]+\.png)</image>)");
    int count = 0;
    for (auto it = std::sregex_iterator(metainfo.begin(), metainfo.end(), image);
         it != std::sregex_iterator(); ++it, ++count) {
        EXPECT_TRUE(
            std::filesystem::exists(std::filesystem::path(LUMIVERT_SOURCE_DIR) / (*it)[1].str()))
            << (*it)[1];
        EXPECT_NE(
            readText(std::filesystem::path(LUMIVERT_SOURCE_DIR) / "README.md").find((*it)[1].str()),
            std::string::npos);
    }
    EXPECT_GE(count, 1);
}

}  // namespace
}  // namespace lumivert
