#include "imaging/vips/VipsRuntime.hpp"

#include <vips/vips8>

#include <mutex>

namespace lumivert::VipsRuntime {

// libvips starts once per process. Its operation cache is off because files change on disk
// between loads under the same name; its warnings are dropped because failures arrive as
// exceptions and the system keeps no log.
bool ready()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        started = vips_init("lumivert") == 0;
        if (started) {
            vips_cache_set_max(0);
            g_log_set_handler(
                "VIPS", G_LOG_LEVEL_WARNING,
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        }
    });
    return started;
}

std::string quotedName(const std::filesystem::path& location)
{
    const std::filesystem::path name =
        location.has_filename() ? location.filename() : location.parent_path().filename();
    return "\u201C" + name.string() + "\u201D";
}

}  // namespace lumivert::VipsRuntime
