#include "io/FileIO.hpp"

#include "io/FileDescriptor.hpp"
#include "io/StagedFiles.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumivert {

namespace {

constexpr std::size_t readChunk = 1 << 16;

constexpr double bytesPerKilobyte = 1e3;
constexpr double bytesPerMegabyte = 1e6;
constexpr double bytesPerGigabyte = 1e9;

std::error_code lastError() { return {errno, std::generic_category()}; }

// Sizes as a file manager shows them: "1.2 GB", "3.4 MB", "5.6 kB", "512 bytes".
std::string sizeText(std::uintmax_t bytes)
{
    const auto value = static_cast<double>(bytes);
    char text[32] = {};
    if (value >= bytesPerGigabyte)
        std::snprintf(text, sizeof text, "%.1f GB", value / bytesPerGigabyte);
    else if (value >= bytesPerMegabyte)
        std::snprintf(text, sizeof text, "%.1f MB", value / bytesPerMegabyte);
    else if (value >= bytesPerKilobyte)
        std::snprintf(text, sizeof text, "%.1f kB", value / bytesPerKilobyte);
    else
        std::snprintf(text, sizeof text, "%ju bytes", bytes);
    return text;
}

std::string reasonText(std::error_code code)
{
    std::string reason = code.message();
    if (!reason.empty())
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

std::string quoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

std::filesystem::path folderOf(const std::filesystem::path& path)
{
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// Appends everything up to the end of the file, failing once the bytes exceed maxBytes.
enum class ReadResult { complete, tooLarge, failed };
ReadResult appendAll(int fd, std::string& bytes, std::uintmax_t maxBytes)
{
    char chunk[readChunk];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count == 0)
            return ReadResult::complete;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::failed;
        }
        if (bytes.size() + static_cast<std::size_t>(count) > maxBytes)
            return ReadResult::tooLarge;
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
}

}  // namespace

FileError::FileError(const std::string& message, std::filesystem::path path, std::error_code code)
    : std::runtime_error(message), path_(std::move(path)), code_(code)
{
}

FileError FileError::cannotRead(const std::filesystem::path& path, std::error_code code)
{
    return FileError(quoted(path.filename().string()) + " could not be read: " + reasonText(code) +
                         ".",
                     path, code);
}

FileError FileError::cannotWrite(const std::filesystem::path& path, std::error_code code)
{
    return FileError(quoted(path.filename().string()) + " could not be saved in " +
                         quoted(folderOf(path).string()) + ": " + reasonText(code) + ".",
                     path, code);
}

FileError FileError::readOnly(const std::filesystem::path& path)
{
    return FileError(quoted(path.filename().string()) + " is read-only.", path,
                     std::make_error_code(std::errc::permission_denied));
}

FileError FileError::untrustedLink(const std::filesystem::path& path,
                                   const std::filesystem::path& link)
{
    return FileError(quoted(path.filename().string()) +
                         " is a link that another user put in the shared folder " +
                         quoted(folderOf(link).string()) + "; it was not followed.",
                     path, std::make_error_code(std::errc::permission_denied));
}

FileError FileError::notRegular(const std::filesystem::path& path)
{
    return FileError(quoted(path.filename().string()) + " is not a regular file.", path,
                     std::make_error_code(std::errc::invalid_argument));
}

FileError FileError::tooLarge(const std::filesystem::path& path, std::uintmax_t bytes,
                              std::string_view what)
{
    return FileError(quoted(path.filename().string()) + " is too large to be " + std::string(what) +
                         " (" + sizeText(bytes) + ").",
                     path, std::make_error_code(std::errc::file_too_large));
}

namespace FileIO {

std::string readAll(const std::filesystem::path& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw FileError::cannotRead(path, lastError());
    struct stat info {};
    std::string bytes;
    if (::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode))
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    if (appendAll(file.get(), bytes, bytes.max_size()) != ReadResult::complete)
        throw FileError::cannotRead(path, lastError());
    return bytes;
}

std::string readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes,
                            std::string_view what)
{
    // Checked by name first, so that a FIFO or device is never even opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        throw FileError::cannotRead(path, lastError());
    if (!S_ISREG(info.st_mode))
        throw FileError::notRegular(path);
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        throw FileError::tooLarge(path, static_cast<std::uintmax_t>(info.st_size), what);
    // A FIFO swapped in after the check must not block the open; the descriptor is checked again.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        throw FileError::cannotRead(path, lastError());
    if (::fstat(file.get(), &info) != 0)
        throw FileError::cannotRead(path, lastError());
    if (!S_ISREG(info.st_mode))
        throw FileError::notRegular(path);
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size > maxBytes)
        throw FileError::tooLarge(path, size, what);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    const ReadResult result = appendAll(file.get(), bytes, maxBytes);
    if (result == ReadResult::failed)
        throw FileError::cannotRead(path, lastError());
    // The file grew past the limit while it was read.
    if (result == ReadResult::tooLarge)
        throw FileError::tooLarge(path, maxBytes + 1, what);
    return bytes;
}

void writeAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    StagedFiles staged;
    staged.stage(path, bytes);
    staged.commit();
}

void writeAtomically(const std::filesystem::path& path, const std::function<bool(int fd)>& write)
{
    StagedFiles staged;
    staged.stage(path, write);
    staged.commit();
}

}  // namespace FileIO

}  // namespace lumivert
