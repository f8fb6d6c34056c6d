#pragma once

// Whole-file reads and atomic whole-file writes, with errors a user can read.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace lumivert {

class FileError : public std::runtime_error {
public:
    // “name” could not be read: reason.
    static FileError cannotRead(const std::filesystem::path& path, std::error_code code);
    // “name” could not be saved in “folder”: reason.
    static FileError cannotWrite(const std::filesystem::path& path, std::error_code code);
    // “name” is read-only.
    static FileError readOnly(const std::filesystem::path& path);
    // “name” is a link that another user put in the shared folder “folder”; it was not followed.
    // `link` is the one refused along the chain of links from `path`.
    static FileError untrustedLink(const std::filesystem::path& path,
                                   const std::filesystem::path& link);
    // “name” is not a regular file.
    static FileError notRegular(const std::filesystem::path& path);
    // “name” is too large to be <what> (1.2 GB).
    static FileError tooLarge(const std::filesystem::path& path, std::uintmax_t bytes,
                              std::string_view what);

    const std::filesystem::path& path() const { return path_; }
    std::error_code code() const { return code_; }

private:
    FileError(const std::string& message, std::filesystem::path path, std::error_code code);

    std::filesystem::path path_;
    std::error_code code_;
};

namespace FileIO {

// The file's bytes; throws FileError::cannotRead.
std::string readAll(const std::filesystem::path& path);

// The bytes of a regular file (after following links) of at most maxBytes, read once into a
// buffer of the file's size. A FIFO, device, socket or folder is refused without being read or
// waited on (FileError::notRegular), and a larger file before any byte is read
// (FileError::tooLarge, naming it as `what`, such as "a LUT"); else FileError::cannotRead.
std::string readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes,
                            std::string_view what);

// Writes the bytes to a new file in the destination's folder, then puts it in place of the
// destination, so readers see either the old file or the complete new one (see StagedFiles: the
// mode of a replaced file is kept, symbolic links are followed where the kernel would). On failure
// nothing of the new file is left, any existing file is untouched, and FileError is thrown.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);
// The same, the contents written by `write` to the new file's descriptor (StagedFiles::Writer).
void writeAtomically(const std::filesystem::path& path, const std::function<bool(int fd)>& write);

}  // namespace FileIO

}  // namespace lumivert
