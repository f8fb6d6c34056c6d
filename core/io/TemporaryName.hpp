#pragma once

// Names of the hidden temporary files written beside a destination where the file system has no
// unnamed files. Each name says which process wrote it, so that a later run can tell a leftover of
// a killed writer, removed at once, from the file of a writer still running, never touched.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace lumivert::TemporaryName {

// A process as a later run can recognise it: a process id is reused, its start time with it is
// not; `system` tells this boot and process-id namespace from another machine sharing the folder
// (0 when it cannot be known).
struct Writer {
    std::uint32_t system = 0;
    pid_t pid = 0;
    std::uint64_t startTicks = 0;

    bool operator==(const Writer&) const = default;
};

// This process.
Writer currentWriter();
// The process running with this id now, if any (a zombie has finished).
std::optional<Writer> runningWriter(pid_t pid);

// ".look.cube.<pid>-<start>-<system>.<suffix>.tmp" beside the target.
std::filesystem::path beside(const std::filesystem::path& target, const Writer& writer,
                             std::uint64_t suffix);

// What a file's name says of it: not one of ours, ours from an unknown writer (the names of
// earlier versions), or ours with its writer.
struct Parsed {
    bool ours = false;
    std::optional<Writer> writer;
};
Parsed parse(std::string_view name);

// Removes the folder's temporaries that no running write can own: a finished writer's at once,
// and those whose writer cannot be checked from here (another machine, an earlier boot, an
// unknown one) once they are older than any write could take. Only the user's own regular files.
void removeLeftovers(const std::filesystem::path& folder, std::time_t now = std::time(nullptr));

}  // namespace lumivert::TemporaryName
