#include "io/StagedFiles.hpp"

#include "io/FileIO.hpp"
#include "io/SystemCalls.hpp"
#include "io/TemporaryName.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumivert {
namespace {

namespace fs = std::filesystem;

// Records every call by name and can fail one kind of call, or stop the process in a write.
class WatchedCalls : public SystemCalls {
public:
    bool unnamed = true;  // else the file system "has no unnamed files"
    std::string failing;  // the call that fails with failError
    int failAfter = 0;    // successful calls of that kind before it fails
    int failError = EIO;
    int pauseWritesTo = -1;  // a pipe: the first write writes half, reports, then waits

    std::vector<std::string> calls;

    int openUnnamed(const fs::path& folder, mode_t mode) override
    {
        if (!unnamed) {
            calls.push_back("openUnnamed failed");
            errno = EOPNOTSUPP;
            return -1;
        }
        return record("openUnnamed", [&] { return SystemCalls::openUnnamed(folder, mode); });
    }
    int openNew(const fs::path& path, mode_t mode) override
    {
        return record("openNew", [&] { return SystemCalls::openNew(path, mode); });
    }
    ssize_t write(int fd, const void* bytes, std::size_t count) override
    {
        if (pauseWritesTo >= 0) {
            const ssize_t written = SystemCalls::write(fd, bytes, count / 2);
            const char ready = 'w';
            [[maybe_unused]] const ssize_t reported = ::write(pauseWritesTo, &ready, 1);
            for (;;)
                ::pause();
            return written;
        }
        return record("write", [&] { return SystemCalls::write(fd, bytes, count); });
    }
    int fsync(int fd) override
    {
        return record("fsync", [&] { return SystemCalls::fsync(fd); });
    }
    int close(int fd) override
    {
        return record("close", [&] { return SystemCalls::close(fd); });
    }
    int linkUnnamed(int fd, const fs::path& path) override
    {
        return record("link", [&] { return SystemCalls::linkUnnamed(fd, path); });
    }
    int rename(const fs::path& from, const fs::path& to) override
    {
        return record("rename", [&] { return SystemCalls::rename(from, to); });
    }

    std::ptrdiff_t first(const std::string& name) const
    {
        return std::find(calls.begin(), calls.end(), name) - calls.begin();
    }
    std::ptrdiff_t last(const std::string& name) const
    {
        return calls.rend() - std::find(calls.rbegin(), calls.rend(), name) - 1;
    }

private:
    template <typename Call> auto record(const std::string& name, Call call) -> decltype(call())
    {
        calls.push_back(name);
        if (name == failing && failAfter-- == 0) {
            errno = failError;
            return -1;
        }
        return call();
    }
};

class StagedFilesTest : public fixtures::FolderTest, public testing::WithParamInterface<bool> {
protected:
    static void put(const fs::path& path, const std::string& bytes, mode_t mode = 0644)
    {
        std::ofstream(path, std::ios::binary) << bytes;
        fs::permissions(path, static_cast<fs::perms>(mode));
    }
    static mode_t modeOf(const fs::path& path)
    {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    // The calls of these tests: unnamed files or, as the parameter says, named temporaries.
    WatchedCalls watched() const
    {
        WatchedCalls calls;
        calls.unnamed = GetParam();
        return calls;
    }
};

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamed, StagedFilesTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

// The new contents are on disk before the file takes the destination's name, and the file is
// closed before that: a crash or power loss never puts a partial file in place of the old one.
TEST_P(StagedFilesTest, DataReachesTheDiskBeforeTheFileTakesItsName)
{
    const fs::path path = folder_ / "look.cube";
    put(path, "old");
    WatchedCalls calls = watched();
    {
        const ScopedSystemCalls scope(calls);
        FileIO::writeAtomically(path, std::string(300'000, 'n'));
    }
    EXPECT_EQ(contents(path), std::string(300'000, 'n'));
    EXPECT_EQ(names(), std::vector<std::string>{"look.cube"});
    const auto rename = calls.first("rename");
    ASSERT_LT(rename, std::ssize(calls.calls));
    EXPECT_EQ(rename, std::ssize(calls.calls) - 1);
    EXPECT_LT(calls.last("write"), calls.first("fsync"));
    EXPECT_LT(calls.first("fsync"), calls.first("close"));
    EXPECT_LT(calls.first("close"), rename);
    if (GetParam())
        EXPECT_LT(calls.first("link"), calls.first("close"));  // an unnamed file needs its fd
    else
        EXPECT_EQ(calls.first("link"), std::ssize(calls.calls));
}

// Each step before the rename can fail (a full disk, a failing drive); the old file stays whole
// and nothing of the new one remains.
TEST_P(StagedFilesTest, AFailingStepKeepsTheOldFileAndLeavesNothing)
{
    const std::vector<std::string> steps =
        GetParam() ? std::vector<std::string>{"openUnnamed", "write", "fsync", "link", "close"}
                   : std::vector<std::string>{"openNew", "write", "fsync", "close", "rename"};
    const fs::path path = folder_ / "look.cube";
    for (const std::string& step : steps) {
        put(path, "the user's file", 0640);
        WatchedCalls calls = watched();
        calls.failing = step;
        try {
            const ScopedSystemCalls scope(calls);
            FileIO::writeAtomically(path, "new contents");
            ADD_FAILURE() << "a failing " << step << " went unnoticed";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), std::errc::io_error) << step;
            EXPECT_EQ(error.path(), path);
        }
        EXPECT_EQ(contents(path), "the user's file") << step;
        EXPECT_EQ(modeOf(path), 0640u) << step;
        EXPECT_EQ(names(), std::vector<std::string>{"look.cube"}) << step;
    }
}

// Killed in the middle of the write (SIGKILL leaves no chance to clean up), the process leaves
// the old file, and an unnamed file leaves nothing else. A named temporary stays until the next
// write into the folder, which finds its writer gone.
TEST_P(StagedFilesTest, AWriterKilledMidWriteLeavesOnlyTheOldFile)
{
    const fs::path path = folder_ / "look.cube";
    put(path, "the user's file");
    int ready[2] = {-1, -1};
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WatchedCalls calls = watched();
        calls.pauseWritesTo = ready[1];
        const ScopedSystemCalls scope(calls);
        try {
            FileIO::writeAtomically(path, std::string(1 << 20, 'n'));
        } catch (...) {
        }
        ::_exit(1);
    }
    char report = 0;
    EXPECT_EQ(::read(ready[0], &report, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ::close(ready[0]);
    ::close(ready[1]);

    EXPECT_EQ(contents(path), "the user's file");
    std::vector<std::string> left = names();
    if (GetParam()) {
        EXPECT_EQ(left, std::vector<std::string>{"look.cube"});
        return;
    }
    ASSERT_EQ(left.size(), 2u);
    const fs::path temporary = folder_ / left.front();
    EXPECT_TRUE(left.front().starts_with(".look.cube.")) << left.front();
    EXPECT_EQ(TemporaryName::parse(left.front()).writer->pid, child) << left.front();
    // Old files that only look a little like ours are the user's.
    const timespec twoHoursAgo[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    for (const char* name : {".notes.tmp", "look.cube.0123456789ab.tmp",
                             ".look.cube.0123456789AB.tmp", ".look.cube.0123456789ab.tmp.bak"}) {
        put(folder_ / name, "keep");
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder_ / name).c_str(), twoHoursAgo, 0), 0);
    }
    // Its writer is gone, so the next write into the folder clears it at once.
    FileIO::writeAtomically(folder_ / "other.3dl", "y");
    EXPECT_EQ(names(), (std::vector<std::string>{
                           ".look.cube.0123456789AB.tmp", ".look.cube.0123456789ab.tmp.bak",
                           ".notes.tmp", "look.cube", "look.cube.0123456789ab.tmp", "other.3dl"}));
}

// A replaced file keeps what its owner chose: who may read it, and who owns it.
TEST_P(StagedFilesTest, TheReplacedFileKeepsItsModeAndOwner)
{
    const fs::path path = folder_ / "look.cube";
    const mode_t previousMask = ::umask(022);
    for (const mode_t mode : {0600, 0640, 0604, 0660, 0666, 0755, 0700, 0200}) {
        put(path, "old", mode);
        WatchedCalls calls = watched();
        const ScopedSystemCalls scope(calls);
        FileIO::writeAtomically(path, "new");
        EXPECT_EQ(contents(path), "new");
        EXPECT_EQ(modeOf(path), mode) << std::oct << mode;
    }
    fs::remove(path);
    FileIO::writeAtomically(path, "fresh");
    EXPECT_EQ(modeOf(path), 0644u);
    ::umask(previousMask);

    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a file to another owner";
    constexpr uid_t owner = 4321;
    constexpr gid_t group = 8765;
    ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
    WatchedCalls calls = watched();
    const ScopedSystemCalls scope(calls);
    FileIO::writeAtomically(path, "for someone else");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

// Without a write bit the file is the user's "do not change"; the folder's permission to
// rename over it is no licence to. Judged by the mode, which binds the superuser here too.
TEST_P(StagedFilesTest, AReadOnlyFileIsRefusedAndKept)
{
    const fs::path path = folder_ / "x.cube";
    for (const mode_t mode : {0444, 0400, 0555, 0000}) {
        put(path, "keep me", mode);
        WatchedCalls calls = watched();
        const ScopedSystemCalls scope(calls);
        try {
            FileIO::writeAtomically(path, "new");
            ADD_FAILURE() << "a file of mode " << std::oct << mode << " was replaced";
        } catch (const FileError& error) {
            EXPECT_STREQ(error.what(), "\u201Cx.cube\u201D is read-only.");
            EXPECT_EQ(error.code(), std::errc::permission_denied);
        }
        EXPECT_TRUE(calls.calls.empty()) << "nothing is written for a read-only file";
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(contents(path), "keep me");
        EXPECT_EQ(names(), std::vector<std::string>{"x.cube"});
    }
}

// A link the user made stays a link; what it names gets the contents, through relative and
// absolute links and chains of them, and a dangling link gets the file it names.
TEST_P(StagedFilesTest, WritesThroughSymbolicLinksToTheirTargets)
{
    fs::create_directory(folder_ / "luts");
    const fs::path target = folder_ / "luts" / "real.cube";
    put(target, "old", 0600);
    fs::create_symlink("luts/real.cube", folder_ / "relative.cube");
    fs::create_symlink(folder_ / "relative.cube", folder_ / "chain.cube");
    fs::create_symlink("luts/new.cube", folder_ / "dangling.cube");
    WatchedCalls calls = watched();
    const ScopedSystemCalls scope(calls);
    FileIO::writeAtomically(folder_ / "relative.cube", "first");
    EXPECT_EQ(contents(target), "first");
    FileIO::writeAtomically(folder_ / "chain.cube", "second");
    EXPECT_EQ(contents(target), "second");
    EXPECT_EQ(modeOf(target), 0600u);
    FileIO::writeAtomically(folder_ / "dangling.cube", "third");
    EXPECT_EQ(contents(folder_ / "luts" / "new.cube"), "third");
    for (const char* link : {"relative.cube", "chain.cube", "dangling.cube"})
        EXPECT_TRUE(fs::is_symlink(folder_ / link)) << link;
    EXPECT_EQ(fs::read_symlink(folder_ / "relative.cube"), "luts/real.cube");
    EXPECT_EQ(names(),
              (std::vector<std::string>{"chain.cube", "dangling.cube", "luts", "relative.cube"}));

    fs::create_symlink("loop.cube", folder_ / "loop.cube");
    try {
        FileIO::writeAtomically(folder_ / "loop.cube", "never");
        ADD_FAILURE() << "a link to itself was written";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), std::errc::too_many_symbolic_link_levels);
    }
    EXPECT_TRUE(fs::is_symlink(folder_ / "loop.cube"));
}

// In a sticky world-writable folder such as /tmp, a link is followed only under the kernel's own
// rule: when it belongs to the user or to the folder's owner. Another user's link is refused,
// so that it cannot redirect the write to a file of the user's; other links are followed.
TEST_P(StagedFilesTest, AnotherUsersLinkInASharedFolderIsNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a link to another owner";
    const uid_t me = ::geteuid();
    constexpr uid_t other = 4321;
    constexpr uid_t third = 8765;
    struct Row {
        const char* label;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        bool followed;
    };
    const std::vector<Row> rows{
        {"shared, another user's link", 01777, me, other, false},
        {"shared and a third user's, another user's link", 01777, third, other, false},
        {"shared, the user's own link", 01777, me, me, true},
        {"shared, the folder owner's link", 01777, other, other, true},
        {"sticky, not world-writable", 01775, me, other, true},
        {"world-writable, not sticky", 0777, me, other, true},
    };
    const fs::path target = folder_ / "precious.cube";
    const fs::path shared = folder_ / "shared";
    for (const Row& row : rows) {
        put(target, "old", 0644);
        fs::create_directory(shared);
        const fs::path link = shared / "look.cube";
        fs::create_symlink(target, link);
        ASSERT_EQ(::lchown(link.c_str(), row.linkOwner, row.linkOwner), 0);
        ASSERT_EQ(::chown(shared.c_str(), row.folderOwner, row.folderOwner), 0);
        ASSERT_EQ(::chmod(shared.c_str(), row.folderMode), 0);
        // Reached directly, and through a link of the user's own that leads to it.
        for (const fs::path& asked : {link, folder_ / "mine.cube"}) {
            fs::create_symlink(link, folder_ / "mine.cube");
            WatchedCalls calls = watched();
            const ScopedSystemCalls scope(calls);
            try {
                FileIO::writeAtomically(asked, "new");
                EXPECT_TRUE(row.followed) << row.label << ": followed";
            } catch (const FileError& error) {
                EXPECT_FALSE(row.followed) << row.label << ": " << error.what();
                EXPECT_EQ(error.what(), "\u201C" + asked.filename().string() +
                                            "\u201D is a link that another user put in the "
                                            "shared folder \u201C" +
                                            shared.string() + "\u201D; it was not followed.");
                EXPECT_EQ(error.code(), std::errc::permission_denied);
                EXPECT_TRUE(calls.calls.empty()) << row.label << ": nothing is written";
            }
            EXPECT_EQ(contents(target), row.followed ? "new" : "old") << row.label;
            EXPECT_TRUE(fs::is_symlink(link)) << row.label;
            fs::remove(folder_ / "mine.cube");
            put(target, "old", 0644);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 1)
            << row.label << ": nothing is left beside the link";
        fs::remove_all(shared);
    }
}

// Replacing a file gives its name a new file: other hard links keep the old contents, which
// the user is told about.
TEST_P(StagedFilesTest, SplittingAHardLinkIsReported)
{
    const fs::path path = folder_ / "look.cube";
    put(path, "shared");
    fs::create_hard_link(path, folder_ / "other name.cube");
    WatchedCalls calls = watched();
    const ScopedSystemCalls scope(calls);
    testing::internal::CaptureStderr();
    FileIO::writeAtomically(path, "new");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\u201Clook.cube\u201D had other hard links; they keep the previous contents.\n");
    EXPECT_EQ(contents(path), "new");
    EXPECT_EQ(contents(folder_ / "other name.cube"), "shared");
    testing::internal::CaptureStderr();
    FileIO::writeAtomically(path, "newer");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Several files are all written before any takes its name: when one cannot be, none of the
// destinations changes and nothing is left beside them.
TEST_P(StagedFilesTest, SeveralFilesChangeTogetherOrNotAtAll)
{
    const std::vector<std::string> files = {"Look.cube", "Look.3dl", "Look.png"};
    const std::vector<std::string> failures =
        GetParam() ? std::vector<std::string>{"write", "fsync", "link"}
                   : std::vector<std::string>{"write", "fsync", "close"};
    for (const std::string& step : failures) {
        for (int failing = 0; failing < std::ssize(files); ++failing) {
            for (const std::string& name : files)
                put(folder_ / name, "old " + name, 0600);
            WatchedCalls calls = watched();
            calls.failing = step;
            calls.failAfter = failing;
            const ScopedSystemCalls scope(calls);
            try {
                StagedFiles staged;
                for (const std::string& name : files)
                    staged.stage(folder_ / name, "new " + name);
                staged.commit();
                ADD_FAILURE() << step << " failing on file " << failing << " went unnoticed";
            } catch (const FileError& error) {
                EXPECT_EQ(error.path(), folder_ / files[static_cast<std::size_t>(failing)]);
            }
            for (const std::string& name : files)
                EXPECT_EQ(contents(folder_ / name), "old " + name) << step << failing;
            EXPECT_EQ(names(), (std::vector<std::string>{"Look.3dl", "Look.cube", "Look.png"}));
        }
    }
    StagedFiles staged;
    for (const std::string& name : files)
        staged.stage(folder_ / name, "new " + name);
    for (const std::string& name : files)
        EXPECT_EQ(contents(folder_ / name), "old " + name) << "changed before the commit";
    staged.commit();
    for (const std::string& name : files) {
        EXPECT_EQ(contents(folder_ / name), "new " + name);
        EXPECT_EQ(modeOf(folder_ / name), 0600u);
    }
}

using StagedFilesDeathTest = fixtures::FolderTest;

// Runs in a fresh process that has left SIGXFSZ alone, as the app and the command line do:
// a write beyond the file-size limit must fail with an error instead of killing the process,
// while a handler the process set itself stays. Exits 0 when that holds.
[[noreturn]] void writeBeyondTheLimitWithTheDefaultSignal(const fs::path& folder)
{
    constexpr rlim_t sizeLimit = 4096;
    const rlimit limit{sizeLimit, sizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int failures = 0;
    try {
        FileIO::writeAtomically(folder / "big.cube", std::string(100'000, 'x'));
    } catch (const FileError& error) {
        failures += error.code() == std::errc::file_too_large ? 0 : 1;
    }
    struct sigaction installed {};
    ::sigaction(SIGXFSZ, nullptr, &installed);
    const bool handled = installed.sa_handler != SIG_DFL && installed.sa_handler != SIG_IGN;
    const bool nothingLeft = fs::is_empty(folder);
    std::exit(failures == 0 && handled && nothingLeft ? 0 : 1);
}

[[noreturn]] void keepTheProcessOwnSignalHandler(const fs::path& folder)
{
    std::signal(SIGXFSZ, SIG_IGN);
    FileIO::writeAtomically(folder / "small.cube", "x");
    std::exit(std::signal(SIGXFSZ, SIG_DFL) == SIG_IGN ? 0 : 1);
}

TEST_F(StagedFilesDeathTest, AFileSizeLimitFailsTheWriteWithoutKillingTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(writeBeyondTheLimitWithTheDefaultSignal(folder_), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(keepTheProcessOwnSignalHandler(folder_), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lumivert
