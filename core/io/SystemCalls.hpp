#pragma once

// The system calls that put a file's new contents in place, behind one small interface so that
// tests can watch their order and make any of them fail. The program only uses the real ones.

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace lumivert {

class SystemCalls {
public:
    virtual ~SystemCalls() = default;

    // A file without a name in the folder (O_TMPFILE), or -1 with errno.
    virtual int openUnnamed(const std::filesystem::path& folder, mode_t mode);
    // A new file that did not exist (O_CREAT | O_EXCL), or -1 with errno.
    virtual int openNew(const std::filesystem::path& path, mode_t mode);
    virtual ssize_t write(int fd, const void* bytes, std::size_t count);
    // Every byte through write(), again after an interruption; false with errno on failure.
    bool writeFully(int fd, std::string_view bytes);
    virtual int fsync(int fd);
    virtual int close(int fd);
    // Gives an unnamed file a name, which must not exist yet.
    virtual int linkUnnamed(int fd, const std::filesystem::path& path);
    virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to);

    // The calls in use: the real ones unless a test has put others in their place.
    static SystemCalls& current();
};

// For tests: routes the calls through `calls` while it lives.
class ScopedSystemCalls {
public:
    explicit ScopedSystemCalls(SystemCalls& calls);
    ~ScopedSystemCalls();
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

private:
    SystemCalls* previous_;
};

}  // namespace lumivert
