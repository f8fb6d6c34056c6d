#include "io/StagedFiles.hpp"

#include "io/FileIO.hpp"
#include "io/SystemCalls.hpp"
#include "io/TemporaryName.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <random>
#include <unistd.h>
#include <utility>

namespace lumivert {

namespace {

using std::filesystem::path;

constexpr int temporaryNameAttempts = 64;
// As the kernel limits symbolic links in one lookup.
constexpr int maxLinksFollowed = 40;
constexpr mode_t newFileMode = 0666;  // less the umask, as any new file gets
constexpr mode_t permissionBits = 07777;
constexpr mode_t anyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
// A folder anyone may add to but only owners may remove from, such as /tmp.
constexpr mode_t sharedFolderBits = S_ISVTX | S_IWOTH;

std::error_code lastError() { return {errno, std::generic_category()}; }

path folderOf(const path& file)
{
    const path folder = file.parent_path();
    return folder.empty() ? path(".") : folder;
}

// Hit by a write beyond the file-size limit, SIGXFSZ would kill the process with the temporary
// file in place; handled, the write fails with EFBIG and is cleaned up. A handler rather than
// SIG_IGN, since programs we start get the default back on exec; and only where nobody else set
// one.
void handleFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL)
            return;
        struct sigaction quiet {};
        quiet.sa_handler = [](int) {};
        sigemptyset(&quiet.sa_mask);
        quiet.sa_flags = SA_RESTART;
        ::sigaction(SIGXFSZ, &quiet, nullptr);
    });
}

// The kernel's rule for following links (fs.protected_symlinks), which applies only when open()
// follows the link itself: in a shared folder, a link is trusted only when it belongs to the
// follower or to the folder's owner. Without it, another user's link planted where we are about
// to write would redirect the write to any file we may change.
bool trusted(const path& link, const struct stat& linkInfo)
{
    struct stat folder {};
    if (::stat(folderOf(link).c_str(), &folder) != 0)
        return false;
    return (folder.st_mode & sharedFolderBits) != sharedFolderBits ||
           linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folder.st_uid;
}

// The file a chain of symbolic links ends at, which need not exist yet.
path followLinks(const path& destination)
{
    path target = destination;
    for (int followed = 0; followed < maxLinksFollowed; ++followed) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        if (!trusted(target, info))
            throw FileError::untrustedLink(destination, target);
        std::error_code error;
        const path next = std::filesystem::read_symlink(target, error);
        if (error)
            return target;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    throw FileError::cannotWrite(destination,
                                 std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

// The superuser may write anything, so for it a file is read-only when no one may write it.
bool writable(const path& target, const struct stat& info)
{
    if (::geteuid() == 0)
        return (info.st_mode & anyWriteBit) != 0;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 || errno != EACCES;
}

// Gives the new file the mode and, where we may, the owner of the file it replaces (file systems
// without owners refuse with EPERM). Owner first: a change of owner clears the set-user-ID bit
// that the mode may restore.
bool takeOwnerAndMode(int fd, const struct stat& replaced)
{
    if (::geteuid() == 0 && ::fchown(fd, replaced.st_uid, replaced.st_gid) != 0 && errno != EPERM)
        return false;
    return ::fchmod(fd, replaced.st_mode & permissionBits) == 0;
}

// Tries fresh hidden names beside the target until `create` does not find the name taken;
// returns what `create` returned last (negative with errno on failure).
template <typename Create> int underTemporaryName(const path& target, path& name, Create create)
{
    std::mt19937_64 random(std::random_device{}());
    const TemporaryName::Writer writer = TemporaryName::currentWriter();
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        name = TemporaryName::beside(target, writer, random());
        const int result = create(name);
        if (result >= 0 || errno != EEXIST)
            return result;
    }
    errno = EEXIST;
    return -1;
}

// Opens the file the new contents go to: unnamed where the file system allows, else named.
int openStaging(SystemCalls& calls, const path& target, path& temporary)
{
    const int fd = calls.openUnnamed(folderOf(target), newFileMode);
    // Kernels without O_TMPFILE report EISDIR, file systems without it EOPNOTSUPP.
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    return underTemporaryName(
        target, temporary, [&calls](const path& name) { return calls.openNew(name, newFileMode); });
}

void warnOfSplitLinks(const path& destination)
{
    std::fprintf(stderr, "\u201C%s\u201D had other hard links; they keep the previous contents.\n",
                 destination.filename().c_str());
}

}  // namespace

StagedFiles::~StagedFiles()
{
    for (Staged& staged : staged_)
        discard(staged);
}

void StagedFiles::discard(Staged& staged)
{
    if (staged.fd >= 0)
        SystemCalls::current().close(staged.fd);
    staged.fd = -1;
    if (!staged.temporary.empty())
        ::unlink(staged.temporary.c_str());
    staged.temporary.clear();
}

void StagedFiles::stage(const path& destination, std::string_view bytes)
{
    stage(destination, [bytes](int fd) { return SystemCalls::current().writeFully(fd, bytes); });
}

void StagedFiles::stage(const path& destination, const Writer& write)
{
    if (!destination.has_filename())
        throw FileError::cannotWrite(destination, std::make_error_code(std::errc::is_a_directory));
    handleFileSizeSignal();
    Staged staged{destination, followLinks(destination), {}, -1, 0};
    struct stat replaced {};
    const bool replaces = ::stat(staged.target.c_str(), &replaced) == 0;
    if (replaces && S_ISDIR(replaced.st_mode))
        throw FileError::cannotWrite(destination, std::make_error_code(std::errc::is_a_directory));
    if (replaces && !writable(staged.target, replaced))
        throw FileError::readOnly(destination);
    TemporaryName::removeLeftovers(folderOf(staged.target));

    SystemCalls& calls = SystemCalls::current();
    staged.fd = openStaging(calls, staged.target, staged.temporary);
    if (staged.fd < 0)
        throw FileError::cannotWrite(destination, lastError());
    staged.replacedLinks = replaces ? replaced.st_nlink : 0;
    // The data must be on disk before the file takes the destination's name, or a crash could
    // leave an empty file behind.
    const bool complete = (!replaces || takeOwnerAndMode(staged.fd, replaced)) &&
                          write(staged.fd) && calls.fsync(staged.fd) == 0;
    std::error_code failure = complete ? std::error_code() : lastError();
    // A named temporary is closed now; an unnamed one stays open, or it would be gone.
    if (!failure && !staged.temporary.empty()) {
        const int fd = std::exchange(staged.fd, -1);
        if (calls.close(fd) != 0)
            failure = lastError();
    }
    if (failure) {
        discard(staged);
        throw FileError::cannotWrite(destination, failure);
    }
    staged_.push_back(std::move(staged));
}

void StagedFiles::commit()
{
    SystemCalls& calls = SystemCalls::current();
    // Every file gets a name before any destination changes: a failure here changes nothing.
    for (Staged& staged : staged_) {
        if (staged.fd < 0)
            continue;
        if (underTemporaryName(staged.target, staged.temporary, [&](const path& name) {
                return calls.linkUnnamed(staged.fd, name);
            }) != 0) {
            const std::error_code failure = lastError();
            staged.temporary.clear();
            throw FileError::cannotWrite(staged.destination, failure);
        }
        if (calls.close(std::exchange(staged.fd, -1)) != 0)
            throw FileError::cannotWrite(staged.destination, lastError());
    }
    for (Staged& staged : staged_) {
        if (calls.rename(staged.temporary, staged.target) != 0)
            throw FileError::cannotWrite(staged.destination, lastError());
        staged.temporary.clear();
        if (staged.replacedLinks > 1)
            warnOfSplitLinks(staged.destination);
    }
    staged_.clear();
}

}  // namespace lumivert
