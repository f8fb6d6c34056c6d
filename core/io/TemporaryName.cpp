#include "io/TemporaryName.hpp"

#include "io/FileDescriptor.hpp"

#include <charconv>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumivert::TemporaryName {

namespace {

using std::filesystem::path;

// Keeps the temporary name within the 255-byte limit of a file name.
constexpr std::size_t maxNameInTemporary = 128;
constexpr std::size_t suffixLength = 12;
constexpr std::size_t systemLength = 8;
constexpr std::string_view temporaryExtension = ".tmp";
constexpr std::string_view hexDigits = "0123456789abcdef";
// Older than any write of ours could take: what is left of a writer that cannot be checked.
constexpr std::time_t staleSeconds = 60 * 60;
// /proc/<pid>/stat after the command's closing parenthesis: the state is the first field and
// the start time the twentieth (proc(5) numbers them 3 and 22).
constexpr std::size_t startTimeField = 19;
constexpr std::size_t statBytes = 1024;
constexpr std::uint32_t fnvOffset = 2166136261u;
constexpr std::uint32_t fnvPrime = 16777619u;
constexpr int hexBase = 16;

std::string smallFile(const char* name)
{
    FileDescriptor file(::open(name, O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return {};
    std::string text(statBytes, '\0');
    const ssize_t count = ::read(file.get(), text.data(), text.size());
    text.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return text;
}

std::string linkText(const char* name)
{
    char text[PATH_MAX] = {};
    const ssize_t count = ::readlink(name, text, sizeof text - 1);
    return count > 0 ? std::string(text, static_cast<std::size_t>(count)) : std::string();
}

// FNV-1a of the boot's id and the process-id namespace: equal only where process ids mean the
// same processes as here.
std::uint32_t systemHere()
{
    static const std::uint32_t system = [] {
        const std::string boot = smallFile("/proc/sys/kernel/random/boot_id");
        const std::string space = linkText("/proc/self/ns/pid");
        if (boot.empty() || space.empty())
            return 0u;
        std::uint32_t hash = fnvOffset;
        for (const char c : boot + space)
            hash = (hash ^ static_cast<unsigned char>(c)) * fnvPrime;
        return hash == 0 ? 1u : hash;
    }();
    return system;
}

// The state and start time of a live process from its stat line; nothing for a zombie.
std::optional<std::uint64_t> startTicksOf(const std::string& stat)
{
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return std::nullopt;
    std::string_view rest = std::string_view(stat).substr(end + 1);
    for (std::size_t field = 0; field <= startTimeField; ++field) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(start);
        const std::string_view value = rest.substr(0, rest.find(' '));
        if (field == 0 && (value == "Z" || value == "X"))
            return std::nullopt;
        if (field == startTimeField) {
            std::uint64_t ticks = 0;
            const auto [next, error] = std::from_chars(value.begin(), value.end(), ticks);
            return error == std::errc() && next == value.end() ? std::optional(ticks)
                                                               : std::nullopt;
        }
        rest.remove_prefix(value.size());
    }
    return std::nullopt;
}

template <typename Number> bool parseNumber(std::string_view text, Number& value, int base = 10)
{
    const auto [next, error] = std::from_chars(text.begin(), text.end(), value, base);
    return !text.empty() && error == std::errc() && next == text.end();
}

bool isLowerHex(std::string_view text, std::size_t length)
{
    return text.size() == length && text.find_first_not_of(hexDigits) == std::string_view::npos;
}

// "<pid>-<start>-<system>"
std::optional<Writer> parseWriter(std::string_view text)
{
    const std::size_t first = text.find('-');
    const std::size_t second = text.find('-', first == std::string_view::npos ? 0 : first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    Writer writer;
    const std::string_view system = text.substr(second + 1);
    if (!parseNumber(text.substr(0, first), writer.pid) || writer.pid <= 0 ||
        !parseNumber(text.substr(first + 1, second - first - 1), writer.startTicks) ||
        !isLowerHex(system, systemLength) || !parseNumber(system, writer.system, hexBase))
        return std::nullopt;
    return writer;
}

bool finished(const Writer& writer)
{
    const std::optional<Writer> running = runningWriter(writer.pid);
    return !running || running->startTicks != writer.startTicks;
}

}  // namespace

Writer currentWriter()
{
    const std::optional<std::uint64_t> start = startTicksOf(smallFile("/proc/self/stat"));
    return {start ? systemHere() : 0u, ::getpid(), start.value_or(0)};
}

std::optional<Writer> runningWriter(pid_t pid)
{
    const std::string stat = smallFile(("/proc/" + std::to_string(pid) + "/stat").c_str());
    const std::optional<std::uint64_t> start = startTicksOf(stat);
    if (!start)
        return std::nullopt;
    return Writer{systemHere(), pid, *start};
}

path beside(const path& target, const Writer& writer, std::uint64_t suffix)
{
    char system[systemLength + 1] = {};
    std::to_chars(system, system + systemLength, writer.system, hexBase);
    std::string systemText(system);
    systemText.insert(0, systemLength - systemText.size(), '0');
    std::string suffixText(suffixLength, '0');
    for (char& c : suffixText) {
        c = hexDigits[suffix % hexDigits.size()];
        suffix /= hexDigits.size();
    }
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about `"." + std::string`.
    std::string name(1, '.');
    name += target.filename().string().substr(0, maxNameInTemporary);
    name += '.';
    name += std::to_string(writer.pid);
    name += '-';
    name += std::to_string(writer.startTicks);
    name += '-';
    name += systemText;
    name += '.';
    name += suffixText;
    name += temporaryExtension;
    const path folder = target.parent_path();
    return (folder.empty() ? path(".") : folder) / name;
}

Parsed parse(std::string_view name)
{
    const std::size_t tail = 1 + suffixLength + temporaryExtension.size();
    if (name.size() <= 1 + tail || name.front() != '.' || !name.ends_with(temporaryExtension))
        return {};
    const std::string_view suffix = name.substr(name.size() - tail);
    if (suffix.front() != '.' || !isLowerHex(suffix.substr(1, suffixLength), suffixLength))
        return {};
    const std::string_view rest = name.substr(1, name.size() - 1 - tail);
    const std::size_t dot = rest.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {true, std::nullopt};
    return {true, parseWriter(rest.substr(dot + 1))};
}

void removeLeftovers(const path& folder, std::time_t now)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return;
    const std::uint32_t system = systemHere();
    while (const dirent* entry = ::readdir(listing)) {
        const Parsed parsed = parse(entry->d_name);
        struct stat info {};
        if (!parsed.ours ||
            ::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        const bool checkable = system != 0 && parsed.writer && parsed.writer->system == system;
        if (checkable ? finished(*parsed.writer) : now - info.st_mtime > staleSeconds)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

}  // namespace lumivert::TemporaryName
