#include "io/TemporaryName.hpp"

#include "io/FileIO.hpp"
#include "io/SystemCalls.hpp"
#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumivert {
namespace {

namespace fs = std::filesystem;
using TemporaryName::Writer;

constexpr std::time_t twoHours = 2 * 60 * 60;

// A file system without unnamed files, as some network and FUSE file systems are.
class NoUnnamedFiles : public SystemCalls {
public:
    int openUnnamed(const fs::path&, mode_t) override
    {
        errno = EOPNOTSUPP;
        return -1;
    }
};

// A child process that waits until it is killed, or one that has already finished.
class Child {
public:
    explicit Child(bool running)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (running)
                for (;;)
                    ::pause();
            ::_exit(0);
        }
        if (!running)
            reap();
    }
    ~Child()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            reap();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }

private:
    void reap()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
    }
    pid_t pid_ = -1;
    bool reaped_ = false;
};

TEST(TemporaryNameTest, NamesCarryTheirWriterAndOnlyOursParse)
{
    const Writer self = TemporaryName::currentWriter();
    EXPECT_EQ(self.pid, ::getpid());
    EXPECT_NE(self.system, 0u) << "/proc tells this process apart here";
    EXPECT_EQ(TemporaryName::runningWriter(::getpid()), self);

    for (const Writer& writer :
         {self, Writer{0xffffffffu, 4'194'304, 1'234'567'890'123u}, Writer{0, 1, 0}}) {
        const fs::path name = TemporaryName::beside("luts/look.cube", writer, 0xabcdef);
        EXPECT_EQ(name.parent_path(), "luts");
        const TemporaryName::Parsed parsed = TemporaryName::parse(name.filename().string());
        EXPECT_TRUE(parsed.ours) << name;
        EXPECT_EQ(parsed.writer, writer) << name;
    }
    const fs::path longName = TemporaryName::beside(std::string(250, 'x'), self, 1);
    EXPECT_LE(longName.filename().string().size(), 255u);
    EXPECT_EQ(TemporaryName::parse(longName.filename().string()).writer, self);

    // The names of earlier versions are ours, from a writer nobody can check.
    for (const char* earlier : {".look.cube.0123456789ab.tmp", ".x.0123456789ab.tmp"}) {
        EXPECT_TRUE(TemporaryName::parse(earlier).ours) << earlier;
        EXPECT_FALSE(TemporaryName::parse(earlier).writer) << earlier;
    }
    for (const char* other :
         {".notes.tmp", "look.cube.0123456789ab.tmp", ".look.cube.0123456789AB.tmp",
          ".look.cube.0123456789ab.tmp.bak", ".0123456789ab.tmp"})
        EXPECT_FALSE(TemporaryName::parse(other).ours) << other;
    // A writer part that does not parse leaves the name of an unknown writer.
    for (const char* odd :
         {".look.cube.12-34-XYZ.0123456789ab.tmp", ".look.cube.0-34-00000001.0123456789ab.tmp",
          ".look.cube.12-34-0001.0123456789ab.tmp"})
        EXPECT_FALSE(TemporaryName::parse(odd).writer) << odd;
}

class LeftoverTest : public fixtures::FolderTest {
protected:
    // A leftover temporary of the writer, its time set that many seconds back.
    fs::path leave(const std::string& destination, const Writer& writer, std::time_t age)
    {
        const fs::path file = TemporaryName::beside(folder_ / destination, writer, ++suffix_);
        std::ofstream(file) << "partial";
        const timespec then[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, file.c_str(), then, 0), 0);
        return file;
    }

private:
    std::uint64_t suffix_ = 0;
};

// Where the file system has no unnamed files, a write names its temporary after its process,
// removes at once what finished writers left, and never touches a running writer's file; what it
// cannot check goes once it is older than any write could take.
TEST_F(LeftoverTest, AFinishedWritersTemporaryGoesAtOnceARunningOnesStays)
{
    const Writer self = TemporaryName::currentWriter();
    const Child running(true);
    const Child finished(false);
    const std::optional<Writer> runningWriter = TemporaryName::runningWriter(running.pid());
    ASSERT_TRUE(runningWriter);
    EXPECT_FALSE(TemporaryName::runningWriter(finished.pid()));
    const Writer elsewhere{self.system + 1, self.pid, self.startTicks};
    struct Row {
        const char* label;
        Writer writer;
        std::time_t age;
        bool kept;
    };
    const std::vector<Row> rows{
        {"this process", self, twoHours, true},
        {"a running process", *runningWriter, twoHours, true},
        {"a finished process", {self.system, finished.pid(), 1}, 0, false},
        {"a reused process id", {self.system, self.pid, self.startTicks + 1}, 0, false},
        {"a running process of another system, fresh", elsewhere, 60, true},
        {"a process of another system, an hour old", elsewhere, twoHours, false},
        {"an unknown system, fresh", {0, finished.pid(), 1}, 60, true},
    };
    std::vector<fs::path> files;
    for (const Row& row : rows)
        files.push_back(leave("look.cube", row.writer, row.age));
    const fs::path earlierFresh = folder_ / ".look.cube.00000000000a.tmp";
    const fs::path earlierOld = folder_ / ".look.cube.00000000000b.tmp";
    std::ofstream(earlierFresh) << "partial";
    std::ofstream(earlierOld) << "partial";
    const timespec old[2] = {{::time(nullptr) - twoHours, 0}, {::time(nullptr) - twoHours, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, earlierOld.c_str(), old, 0), 0);

    NoUnnamedFiles calls;
    const ScopedSystemCalls scope(calls);
    std::vector<std::string> during;
    FileIO::writeAtomically(folder_ / "look.cube", [&](int fd) {
        during = names();
        return ::write(fd, "new", 3) == 3;
    });
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(fs::exists(files[i]), rows[i].kept) << rows[i].label;
    EXPECT_TRUE(fs::exists(earlierFresh));
    EXPECT_FALSE(fs::exists(earlierOld));
    EXPECT_EQ(contents(folder_ / "look.cube"), "new");

    // While it wrote, its own temporary was there under its own name.
    std::vector<std::string> own;
    for (const std::string& name : during)
        if (TemporaryName::parse(name).writer == self && !fs::exists(folder_ / name))
            own.push_back(name);
    EXPECT_EQ(own.size(), 1u);
}

// Another user's leftover is theirs to remove, even when its writer has finished.
TEST_F(LeftoverTest, AnotherUsersLeftoverIsKept)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a file to another owner";
    const Child finished(false);
    const fs::path theirs =
        leave("look.cube", {TemporaryName::currentWriter().system, finished.pid(), 1}, twoHours);
    ASSERT_EQ(::chown(theirs.c_str(), 4321, 4321), 0);
    TemporaryName::removeLeftovers(folder_);
    EXPECT_TRUE(fs::exists(theirs));
}

}  // namespace
}  // namespace lumivert
