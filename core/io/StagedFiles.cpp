#include "io/StagedFiles.hpp"

#include "io/FileIO.hpp"
#include "io/SystemCalls.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <random>
#include <unistd.h>
#include <utility>

namespace lumivert {

namespace {

using std::filesystem::path;

constexpr int kTemporaryNameAttempts = 64;
// Keeps the temporary name within the 255-byte limit of a file name.
constexpr std::size_t kMaxNameInTemporary = 128;
constexpr std::size_t kSuffixLength = 12;
constexpr std::string_view kTemporaryExtension = ".tmp";
// Older than any write of ours could take: what is left of a process that was killed.
constexpr std::time_t kStaleSeconds = 60 * 60;
// As the kernel limits symbolic links in one lookup.
constexpr int kMaxLinksFollowed = 40;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as any new file gets
constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr std::string_view kHexDigits = "0123456789abcdef";

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

// ".look.cube.0123456789ab.tmp": hidden, beside the destination, with a random suffix.
path temporaryName(const path& target, std::mt19937_64& random)
{
    std::string suffix(kSuffixLength, '0');
    for (char& c : suffix)
        c = kHexDigits[random() % kHexDigits.size()];
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about `"." + std::string`.
    std::string name(1, '.');
    name += target.filename().string().substr(0, kMaxNameInTemporary);
    name += '.';
    name += suffix;
    name += kTemporaryExtension;
    return folderOf(target) / name;
}

bool isOurTemporaryName(std::string_view name)
{
    const std::size_t tail = 1 + kSuffixLength + kTemporaryExtension.size();
    if (name.size() <= 1 + tail || name.front() != '.' || !name.ends_with(kTemporaryExtension))
        return false;
    const std::string_view suffix = name.substr(name.size() - tail);
    return suffix.front() == '.' &&
           suffix.substr(1, kSuffixLength).find_first_not_of(kHexDigits) == std::string_view::npos;
}

// Removes our own temporary files that a killed process left in the folder, once they are old
// enough that no running write can still own them.
void clearStaleTemporaries(const path& folder)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (!isOurTemporaryName(entry->d_name) ||
            ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            now - info.st_mtime > kStaleSeconds)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

// The file a chain of symbolic links ends at, which need not exist yet.
path followLinks(const path& destination)
{
    path target = destination;
    for (int followed = 0; followed < kMaxLinksFollowed; ++followed) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error)))
            return target;
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
        return (info.st_mode & kAnyWriteBit) != 0;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 || errno != EACCES;
}

// Gives the new file the mode and, where we may, the owner of the file it replaces (file systems
// without owners refuse with EPERM). Owner first: a change of owner clears the set-user-ID bit
// that the mode may restore.
bool takeOwnerAndMode(int fd, const struct stat& replaced)
{
    if (::geteuid() == 0 && ::fchown(fd, replaced.st_uid, replaced.st_gid) != 0 && errno != EPERM)
        return false;
    return ::fchmod(fd, replaced.st_mode & kPermissionBits) == 0;
}

bool writeFully(SystemCalls& calls, int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = calls.write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Tries fresh hidden names beside the target until `create` does not find the name taken;
// returns what `create` returned last (negative with errno on failure).
template <typename Create> int underTemporaryName(const path& target, path& name, Create create)
{
    std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = temporaryName(target, random);
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
    const int fd = calls.openUnnamed(folderOf(target), kNewFileMode);
    // Kernels without O_TMPFILE report EISDIR, file systems without it EOPNOTSUPP.
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    return underTemporaryName(target, temporary, [&calls](const path& name) {
        return calls.openNew(name, kNewFileMode);
    });
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
    stage(destination, [bytes](int fd) { return writeFully(SystemCalls::current(), fd, bytes); });
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
    clearStaleTemporaries(folderOf(staged.target));

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
