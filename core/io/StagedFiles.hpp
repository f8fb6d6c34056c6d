#pragma once

// New contents for one file or several, written in full beside each destination first and put in
// place together, so that readers see the old files or the new ones, and a process killed in the
// middle leaves nothing of its own behind.

#include <filesystem>
#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace lumivert {

class StagedFiles {
public:
    StagedFiles() = default;
    // Whatever was staged and not committed disappears.
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // Writes the bytes, flushed to disk, to a file without a name in the destination's folder
    // (a hidden temporary file named after this process where the file system has no unnamed
    // files), with the mode and, for the superuser, the owner of the file it will replace. A
    // symbolic link is followed to the file it names, which is then replaced and the link kept,
    // except where the kernel would not follow it: a link in a sticky world-writable folder (such
    // as /tmp) that belongs neither to the user nor to the folder's owner
    // (FileError::untrustedLink). Throws FileError::readOnly for a destination without write
    // permission, else FileError::cannotWrite; nothing is left of the failed file, and what was
    // staged before stays staged.
    void stage(const std::filesystem::path& destination, std::string_view bytes);
    // The same for contents too large to hold: `write` writes them to the descriptor it is given
    // and returns false, with errno set, when it fails.
    using Writer = std::function<bool(int fd)>;
    void stage(const std::filesystem::path& destination, const Writer& write);

    // Puts every staged file in place of its destination. When a file cannot be given its name,
    // no destination has changed and FileError::cannotWrite is thrown. Says on standard error
    // when a replaced file had other hard links, which keep the old contents.
    void commit();

private:
    struct Staged {
        std::filesystem::path destination;  // as asked, for messages
        std::filesystem::path target;       // after following symbolic links
        std::filesystem::path temporary;    // empty while the file has no name
        int fd = -1;                        // open until the file has a name
        nlink_t replacedLinks = 0;          // of the file being replaced; 0 for a new one
    };

    void discard(Staged& staged);

    std::vector<Staged> staged_;
};

}  // namespace lumivert
