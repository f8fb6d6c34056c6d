#include "imaging/vips/VipsUpright.hpp"

#include "color/Precondition.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <utility>

namespace lumivert::VipsUpright {

namespace {

using vips::VImage;

// How the upright rows of each EXIF orientation (1 … 8) lie in the stored image: as stored
// columns instead of rows (the turns by a quarter and the transpositions), and in reverse order.
struct Layout {
    bool rowsAreColumns;
    bool reversed;
};
constexpr std::array<Layout, 9> layouts = {{
    {false, false},  // no orientation
    {false, false},  // upright
    {false, false},  // mirrored
    {false, true},   // half a turn
    {false, true},   // flipped
    {true, false},   // transposed
    {true, false},   // a quarter turn clockwise
    {true, true},    // transversed
    {true, true},    // a quarter turn anticlockwise
}};

// The upright strips of one image, built on demand from whichever libvips worker asks first.
class Strips {
public:
    Strips(vips::VSource source, Layout layout, int storedWidth, int storedHeight, int stripRows)
        : source_(std::move(source)), layout_(layout), storedWidth_(storedWidth),
          storedHeight_(storedHeight), stripRows_(stripRows)
    {
    }

    int stripRows() const { return stripRows_; }

    // The strip holding upright rows index × stripRows onwards, upright, its first row the
    // strip's first. Throws vips::VError.
    VImage strip(int index)
    {
        const std::lock_guard lock(mutex_);
        for (const Held& held : held_) {
            if (held.index == index)
                return held.image;
        }
        // The older strip goes before the new one is read, so that two are held at most.
        Held& replaced = held_[next_];
        next_ = 1 - next_;
        replaced = Held{};
        replaced = {index, build(index)};
        return replaced.image;
    }

private:
    struct Held {
        int index = -1;
        VImage image;
    };

    // The stored area behind the strip, decoded in row order, held in memory and turned there.
    VImage build(int index) const
    {
        const int uprightRows = layout_.rowsAreColumns ? storedWidth_ : storedHeight_;
        const int top = index * stripRows_;
        const int rows = std::min(stripRows_, uprightRows - top);
        const int first = layout_.reversed ? uprightRows - top - rows : top;
        const VImage stored = VipsDecoder::openFirstImage(source_);
        const VImage area = layout_.rowsAreColumns
                                ? stored.extract_area(first, 0, rows, storedHeight_)
                                : stored.extract_area(0, first, storedWidth_, rows);
        return area.copy_memory().autorot();
    }

    vips::VSource source_;
    Layout layout_;
    int storedWidth_;
    int storedHeight_;
    int stripRows_;
    std::mutex mutex_;
    std::array<Held, 2> held_;
    int next_ = 0;
};

// Copies the demanded rows out of their strips. libvips calls this from its worker threads;
// exceptions must not cross into C.
int generateUpright(VipsRegion* out, void*, void* client, void*, gboolean*)
{
    auto* strips = static_cast<Strips*>(client);
    const VipsRect& area = out->valid;
    const std::size_t lineBytes =
        static_cast<std::size_t>(area.width) * VIPS_IMAGE_SIZEOF_PEL(out->im);
    try {
        int y = area.top;
        while (y < area.top + area.height) {
            const int index = y / strips->stripRows();
            const int stripTop = index * strips->stripRows();
            const VImage strip = strips->strip(index);
            const int end = std::min(area.top + area.height, stripTop + strip.height());
            VipsRect part{area.left, y - stripTop, area.width, end - y};
            VipsRegion* region = vips_region_new(strip.get_image());
            const bool prepared = vips_region_prepare(region, &part) == 0;
            for (int row = 0; prepared && row < part.height; ++row) {
                std::memcpy(VIPS_REGION_ADDR(out, area.left, y + row),
                            VIPS_REGION_ADDR(region, area.left, part.top + row), lineBytes);
            }
            g_object_unref(region);
            if (!prepared)
                return -1;
            y = end;
        }
    } catch (const vips::VError&) {
        return -1;
    } catch (...) {
        vips_error("lumivert", "the image could not be turned upright");
        return -1;
    }
    return 0;
}

void deleteStrips(gpointer strips) { delete static_cast<Strips*>(strips); }

}  // namespace

VImage whileStreaming(const VipsDecoder::OpenedImage& opened, std::int64_t stripBytes)
{
    LUMIVERT_PRECONDITION(stripBytes >= 1, "a strip holds at least one byte");
    const VImage& stored = opened.image;
    const int orientation = vips_image_get_orientation(stored.get_image());
    if (orientation <= 1 || orientation >= static_cast<int>(layouts.size()))
        return stored;
    const Layout layout = layouts[static_cast<std::size_t>(orientation)];
    // Mirroring keeps the row order, so the streamed image turns as it is read.
    if (!layout.rowsAreColumns && !layout.reversed)
        return stored.autorot();

    // The upright image's header (size, resolution, metadata) without decoding a pixel.
    const VImage upright = stored.autorot();
    const std::int64_t rowBytes =
        std::int64_t{upright.width()} *
        static_cast<std::int64_t>(VIPS_IMAGE_SIZEOF_PEL(upright.get_image()));
    const auto stripRows = static_cast<int>(
        std::clamp<std::int64_t>(stripBytes / rowBytes, 1, std::int64_t{upright.height()}));
    auto* strips = new Strips(opened.source, layout, stored.width(), stored.height(), stripRows);

    VipsImage* out = vips_image_new();
    g_object_set_data_full(G_OBJECT(out), "lumivert-upright-strips", strips, deleteStrips);
    if (vips_image_pipelinev(out, VIPS_DEMAND_STYLE_THINSTRIP, upright.get_image(), nullptr) != 0 ||
        vips_image_generate(out, nullptr, generateUpright, nullptr, strips, nullptr) != 0) {
        g_object_unref(out);
        throw vips::VError();
    }
    return VImage(out);
}

}  // namespace lumivert::VipsUpright
