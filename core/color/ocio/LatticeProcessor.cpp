#include "color/ocio/LatticeProcessor.hpp"

#include "color/Precondition.hpp"

#include <OpenColorIO/OpenColorIO.h>

#include <algorithm>
#include <cstdint>

namespace OCIO = OCIO_NAMESPACE;

namespace lumivert {

// The colours are handed to OpenColorIO as packed float RGB in place.
static_assert(sizeof(RGB) == 3 * sizeof(float), "RGB is three packed floats");

struct LatticeProcessor::Impl {
    OCIO::ConstCPUProcessorRcPtr cpu;
};

namespace {

// Exact transforms only: a lattice is small, and the tables must agree with OpenColorIO's own
// reference arithmetic rather than its fast approximations.
constexpr OCIO::OptimizationFlags optimisation = OCIO::OPTIMIZATION_LOSSLESS;

OCIO::ConstCPUProcessorRcPtr cpuProcessor(const OCIO::ConstProcessorRcPtr& processor)
{
    return processor->getOptimizedCPUProcessor(OCIO::BIT_DEPTH_F32, OCIO::BIT_DEPTH_F32,
                                               optimisation);
}

// Lattice nodes converted per task: a 33-point lattice makes nine of them.
constexpr std::int64_t block = 4096;

std::string inQuotes(std::string_view text) { return "\u201C" + std::string(text) + "\u201D"; }

// OpenColorIO's messages are terse fragments; the sentence around them says what failed.
[[noreturn]] void throwConfigError(const std::filesystem::path& config, const std::string& what)
{
    std::string detail = what;
    while (!detail.empty() && (detail.back() == '.' || detail.back() == '\n'))
        detail.pop_back();
    throw ColorSpaceError("The OpenColorIO config " + inQuotes(config.string()) +
                          " could not be used: " + detail + ".");
}

OCIO::ConstConfigRcPtr readConfig(const std::filesystem::path& config)
{
    if (!std::filesystem::is_regular_file(config))
        throw ColorSpaceError("The OpenColorIO config " + inQuotes(config.string()) +
                              " does not exist.");
    try {
        return OCIO::Config::CreateFromFile(config.c_str());
    } catch (const OCIO::Exception& error) {
        throwConfigError(config, error.what());
    }
}

OCIO::ConstColorSpaceRcPtr namedSpace(const OCIO::ConstConfigRcPtr& config,
                                      const std::filesystem::path& file, std::string_view name)
{
    const OCIO::ConstColorSpaceRcPtr space = config->getColorSpace(std::string(name).c_str());
    if (!space)
        throw ColorSpaceError("The OpenColorIO config " + inQuotes(file.string()) +
                              " has no colour space or role called " + inQuotes(name) + ".");
    return space;
}

}  // namespace

LatticeProcessor::LatticeProcessor(std::span<const BuiltinStep> steps)
{
    if (steps.empty())
        return;
    const OCIO::GroupTransformRcPtr group = OCIO::GroupTransform::Create();
    for (const BuiltinStep& step : steps) {
        const OCIO::BuiltinTransformRcPtr builtin = OCIO::BuiltinTransform::Create();
        try {
            builtin->setStyle(std::string(step.style).c_str());
        } catch (const OCIO::Exception& error) {
            preconditionFailed("builtin->setStyle(style)", error.what(), __FILE__, __LINE__);
        }
        builtin->setDirection(step.inverse ? OCIO::TRANSFORM_DIR_INVERSE
                                           : OCIO::TRANSFORM_DIR_FORWARD);
        group->appendTransform(builtin);
    }
    // Built-ins need no config; the raw one only hosts the processor.
    const OCIO::ConstProcessorRcPtr processor = OCIO::Config::CreateRaw()->getProcessor(group);
    impl_ = std::make_shared<const Impl>(Impl{cpuProcessor(processor)});
}

LatticeProcessor LatticeProcessor::fromConfig(const std::filesystem::path& config,
                                              std::string_view input, std::string_view output)
{
    const OCIO::ConstConfigRcPtr read = readConfig(config);
    const OCIO::ConstColorSpaceRcPtr from = namedSpace(read, config, input);
    const OCIO::ConstColorSpaceRcPtr to = namedSpace(read, config, output);
    LatticeProcessor result;
    try {
        result.impl_ =
            std::make_shared<const Impl>(Impl{cpuProcessor(read->getProcessor(from, to))});
    } catch (const OCIO::Exception& error) {
        throwConfigError(config, error.what());
    }
    return result;
}

ColorSpaceKind LatticeProcessor::configSpaceKind(const std::filesystem::path& config,
                                                 std::string_view name)
{
    const OCIO::ConstColorSpaceRcPtr space = namedSpace(readConfig(config), config, name);
    const std::string_view encoding = space->getEncoding();
    if (encoding == "scene-linear")
        return ColorSpaceKind::sceneLinear;
    if (encoding == "log")
        return ColorSpaceKind::log;
    return ColorSpaceKind::display;
}

void LatticeProcessor::apply(std::span<RGB> colours) const
{
    if (!impl_ || colours.empty())
        return;
    // OpenColorIO's processor is const and thread-safe; each node is converted on its own, so
    // blocks on any number of threads give the same values. The ACES output transform costs
    // about 200 ns a node, so a 33-point lattice is worth sharing out.
    const auto count = static_cast<std::int64_t>(colours.size());
    const std::int64_t blocks = (count + block - 1) / block;
#pragma omp parallel for schedule(dynamic, 1) if (blocks > 1)
    for (std::int64_t b = 0; b < blocks; ++b) {
        const std::int64_t first = b * block;
        const long length = static_cast<long>(std::min(block, count - first));
        OCIO::PackedImageDesc image(&colours[static_cast<std::size_t>(first)].r, length, 1, 3);
        impl_->cpu->apply(image);
    }
}

}  // namespace lumivert
