#include "io/SystemCalls.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace lumivert {

namespace {

SystemCalls& realCalls()
{
    static SystemCalls calls;
    return calls;
}

std::atomic<SystemCalls*> installed{nullptr};

}  // namespace

// Read and write: a writer may read back what it wrote (libtiff its directories, the image
// writer a PNG's end or a TIFF's first directory to add metadata).
int SystemCalls::openUnnamed(const std::filesystem::path& folder, mode_t mode)
{
    return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
}

int SystemCalls::openNew(const std::filesystem::path& path, mode_t mode)
{
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

ssize_t SystemCalls::write(int fd, const void* bytes, std::size_t count)
{
    return ::write(fd, bytes, count);
}

bool SystemCalls::writeFully(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int SystemCalls::fsync(int fd) { return ::fsync(fd); }

int SystemCalls::close(int fd) { return ::close(fd); }

int SystemCalls::linkUnnamed(int fd, const std::filesystem::path& path)
{
    // Through /proc, which needs no privilege; AT_EMPTY_PATH (which needs CAP_DAC_READ_SEARCH)
    // only where /proc is not mounted.
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    const int error = errno;
    if (error != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
        errno = error;
        return -1;
    }
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}

int SystemCalls::rename(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return std::rename(from.c_str(), to.c_str());
}

SystemCalls& SystemCalls::current()
{
    SystemCalls* calls = installed.load();
    return calls != nullptr ? *calls : realCalls();
}

ScopedSystemCalls::ScopedSystemCalls(SystemCalls& calls) : previous_(installed.exchange(&calls)) {}

ScopedSystemCalls::~ScopedSystemCalls() { installed.store(previous_); }

}  // namespace lumivert
