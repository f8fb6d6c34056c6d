#include "io/FileIO.hpp"

#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace lumivert {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class FileIOTest : public fixtures::FolderTest {
protected:
    static void put(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

using FileIODeathTest = FileIOTest;

TEST_F(FileIOTest, WritesNewFileAndReplacesAnOldOne)
{
    const fs::path path = folder_ / "look.cube";
    FileIO::writeAtomically(path, "first\n");
    EXPECT_EQ(contents(path), "first\n");
    const std::string binary = "second\0\xFF\n"s;
    FileIO::writeAtomically(path, binary);
    EXPECT_EQ(contents(path), binary);
    FileIO::writeAtomically(path, "");
    EXPECT_EQ(contents(path), "");
    EXPECT_EQ(names(), std::vector<std::string>{"look.cube"});  // no temporary file is left
}

TEST_F(FileIOTest, NewFileGetsTheUsualPermissions)
{
    const fs::path path = folder_ / "look.3dl";
    const mode_t previous = ::umask(022);
    FileIO::writeAtomically(path, "x");
    ::umask(previous);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);
}

TEST_F(FileIOTest, MissingFolderThrowsAReadableError)
{
    const fs::path path = folder_ / "missing" / "look.cube";
    try {
        FileIO::writeAtomically(path, "text");
        FAIL() << "writing into a missing folder succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_EQ(error.path(), path);
        EXPECT_EQ(error.what(), "\u201Clook.cube\u201D could not be saved in \u201C" +
                                    (folder_ / "missing").string() +
                                    "\u201D: no such file or directory.");
    }
    EXPECT_EQ(names(), std::vector<std::string>{});
}

TEST_F(FileIOTest, PathUnderARegularFileThrows)
{
    put(folder_ / "notes.txt", "keep me");
    try {
        FileIO::writeAtomically(folder_ / "notes.txt" / "look.cube", "text");
        FAIL() << "writing under a regular file succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), std::errc::not_a_directory);
    }
    EXPECT_EQ(contents(folder_ / "notes.txt"), "keep me");
}

TEST_F(FileIOTest, DestinationThatIsAFolderStaysAndLeavesNoTemporary)
{
    fs::create_directory(folder_ / "look.cube");
    put(folder_ / "look.cube" / "inside.txt", "keep me");
    EXPECT_THROW(FileIO::writeAtomically(folder_ / "look.cube", "text"), FileError);
    EXPECT_EQ(contents(folder_ / "look.cube" / "inside.txt"), "keep me");
    EXPECT_EQ(names(), std::vector<std::string>{"look.cube"});
    EXPECT_THROW(FileIO::writeAtomically(folder_.string() + "/", "text"), FileError);
}

TEST_F(FileIOTest, ReadOnlyFolderThrowsUnlessRoot)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the other failure tests cover this";
    put(folder_ / "look.cube", "old");
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(FileIO::writeAtomically(folder_ / "look.cube", "new"), FileError);
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_EQ(contents(folder_ / "look.cube"), "old");
}

// Runs in a child process: lowers the file-size limit below the write, then exits 0 when the
// write fails with "file too large".
[[noreturn]] void writeBeyondTheSizeLimit(const fs::path& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    constexpr rlim_t sizeLimit = 4096;
    const rlimit limit{sizeLimit, sizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
        FileIO::writeAtomically(path, std::string(100'000, 'x'));
    } catch (const FileError& error) {
        std::exit(error.code() == std::errc::file_too_large ? 0 : 2);
    }
    std::exit(1);
}

// A write that fails halfway (here: the file-size limit, which binds root too, standing in for
// a full disk) must leave the previous file whole and remove its temporary file.
TEST_F(FileIODeathTest, FailedWriteKeepsThePreviousFile)
{
    const fs::path path = folder_ / "look.cube";
    put(path, "previous export");
    EXPECT_EXIT(writeBeyondTheSizeLimit(path), testing::ExitedWithCode(0), "");
    EXPECT_EQ(contents(path), "previous export");
    EXPECT_EQ(names(), std::vector<std::string>{"look.cube"});
}

TEST_F(FileIOTest, ReadsEveryByte)
{
    const std::string bytes = "line\r\n\0\xFE\xFF"s + std::string(200'000, 'z');
    put(folder_ / "x.cube", bytes);
    EXPECT_EQ(FileIO::readAll(folder_ / "x.cube"), bytes);
    put(folder_ / "empty.cube", "");
    EXPECT_EQ(FileIO::readAll(folder_ / "empty.cube"), "");
}

TEST_F(FileIOTest, UnreadableFileThrowsAReadableError)
{
    try {
        FileIO::readAll(folder_ / "absent.cube");
        FAIL() << "reading a missing file succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_STREQ(error.what(), "\u201Cabsent.cube\u201D could not be read: no such file or "
                                   "directory.");
    }
    EXPECT_THROW(FileIO::readAll(folder_), FileError);  // a folder is not a file
}

// What reading a path as a regular file of at most maxBytes says, or "" when it reads.
std::string regularReadError(const fs::path& path, std::uintmax_t maxBytes)
{
    try {
        FileIO::readRegularFile(path, maxBytes, "a LUT");
    } catch (const FileError& error) {
        return error.what();
    }
    return "";
}

TEST_F(FileIOTest, RegularFilesReadWholeUpToTheLimit)
{
    const std::string bytes = "TITLE \"x\"\r\n\0\xFE"s + std::string(300'000, '7');
    put(folder_ / "x.cube", bytes);
    EXPECT_EQ(FileIO::readRegularFile(folder_ / "x.cube", bytes.size(), "a LUT"), bytes);
    EXPECT_EQ(regularReadError(folder_ / "x.cube", bytes.size() - 1),
              "\u201Cx.cube\u201D is too large to be a LUT (300.0 kB).");
    // A link is followed to the file it names.
    fs::create_symlink(folder_ / "x.cube", folder_ / "link.cube");
    EXPECT_EQ(FileIO::readRegularFile(folder_ / "link.cube", bytes.size(), "a LUT"), bytes);
    put(folder_ / "empty.cube", "");
    EXPECT_EQ(FileIO::readRegularFile(folder_ / "empty.cube", 0, "a LUT"), "");
    EXPECT_EQ(regularReadError(folder_ / "absent.cube", 10),
              "\u201Cabsent.cube\u201D could not be read: no such file or directory.");
}

// Each of these would block, read forever or fail obscurely if it were opened and read.
TEST_F(FileIOTest, WhatIsNotARegularFileIsRefusedWithoutReading)
{
    ASSERT_EQ(::mkfifo((folder_ / "pipe.cube").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder_ / "zero.cube");
    fs::create_symlink(folder_ / "pipe.cube", folder_ / "link to pipe.3dl");
    fs::create_directory(folder_ / "folder.cube");
    for (const char* name : {"pipe.cube", "zero.cube", "link to pipe.3dl", "folder.cube"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(regularReadError(folder_ / name, 1 << 30),
                  "\u201C"s + name + "\u201D is not a regular file.");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << name;
    }
}

// A sparse file takes no disk space, and reading it would take 1.1 GiB of memory.
TEST_F(FileIOTest, AFileAboveTheLimitIsRefusedBeforeAnyByteIsRead)
{
    const fs::path path = folder_ / "huge.cube";
    put(path, "");
    fs::resize_file(path, (std::uintmax_t{11} << 30) / 10);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(regularReadError(path, std::uintmax_t{1} << 30),
              "\u201Chuge.cube\u201D is too large to be a LUT (1.2 GB).");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    try {
        FileIO::readRegularFile(path, std::uintmax_t{1} << 30, "a LUT");
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), std::errc::file_too_large);
        EXPECT_EQ(error.path(), path);
    }
}

}  // namespace
}  // namespace lumivert
