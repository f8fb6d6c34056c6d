#include "lut/ICCProfile.hpp"

#include "color/Precondition.hpp"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace lumivert::ICCProfile {

namespace {

// The last version whose device links every reader takes with a lut16 CLUT alone.
constexpr double profileVersion = 2.4;
constexpr double sixteenBit = 65535.0;
constexpr const char* copyright = "No copyright. Use freely.";

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct PipelineFreer {
    void operator()(cmsPipeline* pipeline) const { cmsPipelineFree(pipeline); }
};
struct MLUFreer {
    void operator()(cmsMLU* mlu) const { cmsMLUfree(mlu); }
};

cmsUInt16Number sixteenBitOf(float value)
{
    const float clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return static_cast<cmsUInt16Number>(std::lround(clamped * sixteenBit));
}

// LittleCMS lists CLUT entries with the last input fastest: blue, the reverse of our order.
std::vector<cmsUInt16Number> clutEntries(const LUT3D& lut)
{
    const std::int64_t n = lut.size();
    std::vector<cmsUInt16Number> entries;
    entries.reserve(static_cast<std::size_t>(3 * n * n * n));
    for (std::int64_t r = 0; r < n; ++r)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t b = 0; b < n; ++b) {
                const RGB& value = lut(r, g, b);
                entries.insert(entries.end(), {sixteenBitOf(value.r), sixteenBitOf(value.g),
                                               sixteenBitOf(value.b)});
            }
    return entries;
}

void writeText(cmsHPROFILE profile, cmsTagSignature tag, const std::string& text)
{
    const std::unique_ptr<cmsMLU, MLUFreer> mlu(cmsMLUalloc(nullptr, 1));
    cmsMLUsetASCII(mlu.get(), "en", "US", text.c_str());
    LUMIVERT_PRECONDITION(cmsWriteTag(profile, tag, mlu.get()), "a text tag is written");
}

}  // namespace

std::int64_t writtenSize(std::int64_t size) { return std::min(size, maxSize); }

std::string deviceLink(const LUT3D& lut, std::string_view description)
{
    const LUT3D table = lut.onUnitDomain(writtenSize(lut.size()));
    const std::unique_ptr<void, ProfileCloser> profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), profileVersion);
    cmsSetDeviceClass(profile.get(), cmsSigLinkClass);
    cmsSetColorSpace(profile.get(), cmsSigRgbData);
    cmsSetPCS(profile.get(), cmsSigRgbData);
    cmsSetHeaderRenderingIntent(profile.get(), INTENT_PERCEPTUAL);

    const std::unique_ptr<cmsPipeline, PipelineFreer> pipeline(cmsPipelineAlloc(nullptr, 3, 3));
    const std::vector<cmsUInt16Number> entries = clutEntries(table);
    cmsStage* const clut = cmsStageAllocCLut16bit(
        nullptr, static_cast<cmsUInt32Number>(table.size()), 3, 3, entries.data());
    LUMIVERT_PRECONDITION(clut != nullptr &&
                              cmsPipelineInsertStage(pipeline.get(), cmsAT_END, clut),
                          "the CLUT fits in a pipeline");
    LUMIVERT_PRECONDITION(cmsWriteTag(profile.get(), cmsSigAToB0Tag, pipeline.get()),
                          "the CLUT is written");
    writeText(profile.get(), cmsSigProfileDescriptionTag,
              description.empty() ? std::string("Lumivert LUT") : std::string(description));
    writeText(profile.get(), cmsSigCopyrightTag, copyright);

    cmsUInt32Number length = 0;
    LUMIVERT_PRECONDITION(cmsSaveProfileToMem(profile.get(), nullptr, &length),
                          "the profile's length is known");
    std::string bytes(length, '\0');
    LUMIVERT_PRECONDITION(cmsSaveProfileToMem(profile.get(), bytes.data(), &length),
                          "the profile is saved");
    bytes.resize(length);
    return bytes;
}

std::optional<LUT3D> deviceLinkTable(std::string_view bytes, std::int64_t size)
{
    const std::unique_ptr<void, ProfileCloser> profile(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    if (!profile || cmsGetDeviceClass(profile.get()) != cmsSigLinkClass ||
        cmsGetColorSpace(profile.get()) != cmsSigRgbData ||
        cmsGetPCS(profile.get()) != cmsSigRgbData)
        return std::nullopt;
    const std::unique_ptr<void, TransformDeleter> transform(
        cmsCreateTransform(profile.get(), TYPE_RGB_FLT, nullptr, TYPE_RGB_FLT,
                           cmsGetHeaderRenderingIntent(profile.get()), cmsFLAGS_NOCACHE));
    if (!transform)
        return std::nullopt;
    std::vector<RGB> colours = LUT3D::identity(size).values();
    static_assert(sizeof(RGB) == 3 * sizeof(float), "RGB is three packed floats");
    cmsDoTransform(transform.get(), colours.data(), colours.data(),
                   static_cast<cmsUInt32Number>(colours.size()));
    return LUT3D(size, std::move(colours));
}

}  // namespace lumivert::ICCProfile
