#include "color/ocio/OCIOFile.hpp"

#include "color/Precondition.hpp"

#include <OpenColorIO/OpenColorIO.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>
#include <utility>
#include <vector>

namespace OCIO = OCIO_NAMESPACE;

namespace lumivert {

OCIOFileError::OCIOFileError(std::string reason, std::optional<std::int64_t> line)
    : std::runtime_error(reason), reason_(std::move(reason)), line_(line)
{
}

namespace OCIOFile {

namespace {

constexpr const char* clfFormat = "Academy/ASC Common LUT Format";
constexpr const char* inputSpace = "Lumivert input";
constexpr const char* bakedSpace = "Lumivert LUT";

// Names of the transforms a file may hold that are not tables, for `info`.
constexpr std::array<std::pair<OCIO::TransformType, std::string_view>, 12> transformNames{{
    {OCIO::TRANSFORM_TYPE_CDL, "ASC CDL"},
    {OCIO::TRANSFORM_TYPE_EXPONENT, "exponent"},
    {OCIO::TRANSFORM_TYPE_EXPONENT_WITH_LINEAR, "exponent with a linear segment"},
    {OCIO::TRANSFORM_TYPE_EXPOSURE_CONTRAST, "exposure and contrast"},
    {OCIO::TRANSFORM_TYPE_FIXED_FUNCTION, "fixed function"},
    {OCIO::TRANSFORM_TYPE_GRADING_PRIMARY, "primary grade"},
    {OCIO::TRANSFORM_TYPE_GRADING_RGB_CURVE, "RGB curves"},
    {OCIO::TRANSFORM_TYPE_GRADING_TONE, "tone grade"},
    {OCIO::TRANSFORM_TYPE_LOG_AFFINE, "log"},
    {OCIO::TRANSFORM_TYPE_LOG_CAMERA, "camera log"},
    {OCIO::TRANSFORM_TYPE_MATRIX, "matrix"},
    {OCIO::TRANSFORM_TYPE_RANGE, "range"},
}};

std::string nameOf(const OCIO::ConstTransformRcPtr& transform)
{
    const OCIO::TransformType type = transform->getTransformType();
    if (type == OCIO::TRANSFORM_TYPE_LUT1D)
        return "1D table";
    if (type == OCIO::TRANSFORM_TYPE_LUT3D)
        return "3D table";
    for (const auto& [candidate, name] : transformNames)
        if (candidate == type)
            return std::string(name);
    return "transform";
}

// x ↦ scale × x + offset per channel: how a file maps its domain onto a table's 0 … 1.
struct Affine {
    RGB scale{1.0f, 1.0f, 1.0f};
    RGB offset{0.0f, 0.0f, 0.0f};

    bool isIdentity() const { return scale == RGB{1, 1, 1} && offset == RGB{0, 0, 0}; }
    Affine then(const Affine& next) const
    {
        return {{next.scale.r * scale.r, next.scale.g * scale.g, next.scale.b * scale.b},
                {next.scale.r * offset.r + next.offset.r, next.scale.g * offset.g + next.offset.g,
                 next.scale.b * offset.b + next.offset.b}};
    }
    // The inputs that land on 0 … 1.
    LUTDomain domain() const
    {
        // 0 − offset rather than −offset: no offset gives 0, not −0.
        return {
            {(0.0f - offset.r) / scale.r, (0.0f - offset.g) / scale.g, (0.0f - offset.b) / scale.b},
            {(1.0f - offset.r) / scale.r, (1.0f - offset.g) / scale.g,
             (1.0f - offset.b) / scale.b}};
    }
};

// A diagonal matrix or a range onto 0 … 1 (whose clamp the table's own clamp repeats).
std::optional<Affine> affineOf(const OCIO::ConstTransformRcPtr& transform)
{
    if (transform->getDirection() != OCIO::TRANSFORM_DIR_FORWARD)
        return std::nullopt;
    if (const auto matrix = OCIO::DynamicPtrCast<const OCIO::MatrixTransform>(transform)) {
        std::array<double, 16> m{};
        std::array<double, 4> offset{};
        matrix->getMatrix(m.data());
        matrix->getOffset(offset.data());
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                if (row != column && m[static_cast<std::size_t>(4 * row + column)] != 0.0)
                    return std::nullopt;
        if (m[0] <= 0.0 || m[5] <= 0.0 || m[10] <= 0.0)
            return std::nullopt;
        return Affine{
            {static_cast<float>(m[0]), static_cast<float>(m[5]), static_cast<float>(m[10])},
            {static_cast<float>(offset[0]), static_cast<float>(offset[1]),
             static_cast<float>(offset[2])}};
    }
    if (const auto range = OCIO::DynamicPtrCast<const OCIO::RangeTransform>(transform)) {
        if (range->hasMinInValue() && range->hasMaxInValue() && range->hasMinOutValue() &&
            range->hasMaxOutValue() && range->getMinOutValue() == 0.0 &&
            range->getMaxOutValue() == 1.0 && range->getMaxInValue() > range->getMinInValue()) {
            const auto scale =
                static_cast<float>(1.0 / (range->getMaxInValue() - range->getMinInValue()));
            const auto offset = static_cast<float>(-range->getMinInValue()) * scale;
            return Affine{{scale, scale, scale}, {offset, offset, offset}};
        }
    }
    return std::nullopt;
}

std::optional<LUT1D> curvesOf(const OCIO::ConstTransformRcPtr& transform, const Affine& affine)
{
    const auto lut = OCIO::DynamicPtrCast<const OCIO::Lut1DTransform>(transform);
    if (!lut || lut->getDirection() != OCIO::TRANSFORM_DIR_FORWARD || lut->getInputHalfDomain() ||
        lut->getHueAdjust() != OCIO::HUE_NONE)
        return std::nullopt;
    const auto length = static_cast<std::int64_t>(lut->getLength());
    const LUTDomain domain = affine.domain();
    if (length < LUT1D::minSize || length > LUT1D::maxSize || !domain.isValid())
        return std::nullopt;
    std::vector<RGB> values(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < values.size(); ++i)
        lut->getValue(static_cast<unsigned long>(i), values[i].r, values[i].g, values[i].b);
    return LUT1D(length, std::move(values), domain);
}

std::optional<LUT3D> tableOf(const OCIO::ConstTransformRcPtr& transform, const Affine& affine)
{
    const auto lut = OCIO::DynamicPtrCast<const OCIO::Lut3DTransform>(transform);
    if (!lut || lut->getDirection() != OCIO::TRANSFORM_DIR_FORWARD)
        return std::nullopt;
    const auto size = static_cast<std::int64_t>(lut->getGridSize());
    const LUTDomain domain = affine.domain();
    if (size < 2 || size > maxTableSize || !domain.isValid())
        return std::nullopt;
    std::vector<RGB> values(static_cast<std::size_t>(size * size * size));
    const auto n = static_cast<unsigned long>(size);
    std::size_t index = 0;
    for (unsigned long b = 0; b < n; ++b)
        for (unsigned long g = 0; g < n; ++g)
            for (unsigned long r = 0; r < n; ++r, ++index)
                lut->getValue(r, g, b, values[index].r, values[index].g, values[index].b);
    return LUT3D(size, std::move(values), domain);
}

// The file's tables as they stand, when the transform is nothing else: a scale into a domain,
// a 1D table, another scale, a 3D table, each but a table optional.
std::optional<Contents> exactTables(const OCIO::GroupTransform& group)
{
    Affine pending;
    std::optional<LUT1D> curves;
    std::optional<LUT3D> table;
    for (int i = 0; i < group.getNumTransforms(); ++i) {
        const OCIO::ConstTransformRcPtr transform = group.getTransform(i);
        if (table)
            return std::nullopt;
        if (const auto affine = affineOf(transform)) {
            pending = pending.then(*affine);
        } else if (!curves && (curves = curvesOf(transform, pending))) {
            pending = {};
        } else if ((table = tableOf(transform, pending))) {
            pending = {};
        } else {
            return std::nullopt;
        }
    }
    if (!pending.isIdentity() || (!curves && !table))
        return std::nullopt;
    if (curves && table)
        return Contents{LUTStack(std::move(*curves), std::move(*table)), true,
                        "1D shaper then 3D table"};
    if (curves)
        return Contents{LUTStack(std::move(*curves)), true, "1D curves"};
    return Contents{LUTStack(std::move(*table)), true, "3D table"};
}

OCIO::ConstCPUProcessorRcPtr cpuOf(const OCIO::ConstProcessorRcPtr& processor)
{
    return processor->getOptimizedCPUProcessor(OCIO::BIT_DEPTH_F32, OCIO::BIT_DEPTH_F32,
                                               OCIO::OPTIMIZATION_LOSSLESS);
}

// Any other transform, on a lattice over the domain its leading scale names (else 0 … 1).
Contents evaluated(const OCIO::ConstProcessorRcPtr& processor, const OCIO::GroupTransform& group)
{
    LUTDomain domain;
    std::string names;
    for (int i = 0; i < group.getNumTransforms(); ++i) {
        const std::string name = nameOf(group.getTransform(i));
        if (names.find(name) == std::string::npos)
            names += (names.empty() ? "" : ", ") + name;
    }
    if (group.getNumTransforms() > 0)
        if (const auto affine = affineOf(group.getTransform(0));
            affine && affine->domain().isValid())
            domain = affine->domain();
    std::vector<RGB> colours;
    colours.reserve(static_cast<std::size_t>(latticeSize * latticeSize * latticeSize));
    const std::vector<float> axis = LUT3D::latticeAxis(latticeSize);
    for (const float b : axis)
        for (const float g : axis)
            for (const float r : axis)
                colours.push_back(domain.at({r, g, b}));
    static_assert(sizeof(RGB) == 3 * sizeof(float), "RGB is three packed floats");
    OCIO::PackedImageDesc image(&colours.front().r, static_cast<long>(colours.size()), 1, 3);
    cpuOf(processor)->apply(image);
    return {LUTStack(LUT3D(latticeSize, std::move(colours), domain)), false,
            (names.empty() ? std::string("identity") : names) + ", evaluated on a " +
                std::to_string(latticeSize) + "-point lattice"};
}

// Where a message names a line ("At line 8: ", "At line (77)"): the number and the words.
struct LineMention {
    std::int64_t line = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::optional<LineMention> lineMentionIn(std::string_view message)
{
    for (std::size_t at = 0; (at = message.find("ine ", at)) != std::string_view::npos; at += 4) {
        if (at == 0 || (message[at - 1] != 'l' && message[at - 1] != 'L'))
            continue;
        std::size_t digits = at + 4;
        const bool parenthesised = digits < message.size() && message[digits] == '(';
        digits += parenthesised ? 1 : 0;
        LineMention mention;
        const char* const last = message.data() + message.size();
        const auto [end, error] = std::from_chars(message.data() + digits, last, mention.line);
        if (error != std::errc() || end == message.data() + digits)
            continue;
        mention.end = static_cast<std::size_t>(end - message.data());
        if (parenthesised && mention.end < message.size() && message[mention.end] == ')')
            ++mention.end;
        if (mention.end < message.size() && message[mention.end] == ':')
            ++mention.end;
        mention.begin = at - 1;
        if (mention.begin >= 3 && message.substr(mention.begin - 3, 3) == "At ")
            mention.begin -= 3;
        return mention;
    }
    return std::nullopt;
}

std::string trimmed(std::string text)
{
    constexpr std::string_view around = " \t\n.'";
    const auto first = text.find_first_not_of(around);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(around) - first + 1);
}

// OpenColorIO tries every format and lists their failures; the one for the file's own
// extension comes after "failed with:". The line it names becomes the error's own.
OCIOFileError errorOf(const std::string& message)
{
    constexpr std::string_view marker = "failed with:";
    std::string reason = message;
    if (const auto at = message.rfind(marker); at != std::string::npos)
        reason = message.substr(at + marker.size());
    const std::optional<LineMention> mention = lineMentionIn(reason);
    if (mention)
        reason.erase(mention->begin, mention->end - mention->begin);
    reason = trimmed(reason);
    return {reason.empty() ? std::string("OpenColorIO cannot read it") : reason,
            mention ? std::optional(mention->line) : std::nullopt};
}

OCIO::Lut3DTransformRcPtr lut3DTransform(const LUT3D& lut)
{
    const auto n = static_cast<unsigned long>(lut.size());
    const OCIO::Lut3DTransformRcPtr transform = OCIO::Lut3DTransform::Create(n);
    // Trilinear, as the core's own lookups: applied by others, the file gives our results.
    transform->setInterpolation(OCIO::INTERP_LINEAR);
    std::size_t index = 0;
    for (unsigned long b = 0; b < n; ++b)
        for (unsigned long g = 0; g < n; ++g)
            for (unsigned long r = 0; r < n; ++r, ++index) {
                const RGB& value = lut.values()[index];
                transform->setValue(r, g, b, value.r, value.g, value.b);
            }
    return transform;
}

}  // namespace

Contents read(const std::filesystem::path& file)
{
    try {
        // OpenColorIO keeps every file it read by its path: one rewritten since would come back
        // as it was.
        OCIO::ClearAllCaches();
        const OCIO::FileTransformRcPtr transform = OCIO::FileTransform::Create();
        transform->setSrc(std::filesystem::absolute(file).c_str());
        transform->setInterpolation(OCIO::INTERP_LINEAR);
        const OCIO::ConstProcessorRcPtr processor =
            OCIO::Config::CreateRaw()->getProcessor(transform);
        const OCIO::GroupTransformRcPtr group = processor->createGroupTransform();
        if (auto tables = exactTables(*group))
            return std::move(*tables);
        return evaluated(processor, *group);
    } catch (const OCIO::Exception& error) {
        throw errorOf(error.what());
    }
}

std::string clf(const LUT3D& lut, std::string_view title)
{
    const OCIO::GroupTransformRcPtr group = OCIO::GroupTransform::Create();
    group->getFormatMetadata().setName(std::string(title).c_str());
    const LUTDomain& domain = lut.domain();
    if (!domain.isUnit()) {
        const RGB span = domain.max - domain.min;
        const std::array<double, 16> scale{
            1.0 / span.r, 0, 0, 0, 0, 1.0 / span.g, 0, 0, 0, 0, 1.0 / span.b, 0, 0, 0, 0, 1};
        const std::array<double, 4> offset{-domain.min.r / span.r, -domain.min.g / span.g,
                                           -domain.min.b / span.b, 0};
        const OCIO::MatrixTransformRcPtr matrix = OCIO::MatrixTransform::Create();
        matrix->setMatrix(scale.data());
        matrix->setOffset(offset.data());
        group->appendTransform(matrix);
    }
    group->appendTransform(lut3DTransform(lut));
    std::ostringstream text;
    group->write(OCIO::Config::CreateRaw(), clfFormat, text);
    return text.str();
}

std::string baked(const LUT3D& lut, std::string_view format)
{
    const LUT3D table = lut.domain().isUnit() ? lut : lut.onUnitDomain(lut.size());
    // A config of our own: the raw one's space holds data, which OpenColorIO never converts.
    const OCIO::ConfigRcPtr config = OCIO::Config::Create();
    const OCIO::ColorSpaceRcPtr input = OCIO::ColorSpace::Create();
    input->setName(inputSpace);
    config->addColorSpace(input);
    const OCIO::ColorSpaceRcPtr output = OCIO::ColorSpace::Create();
    output->setName(bakedSpace);
    output->setTransform(lut3DTransform(table), OCIO::COLORSPACE_DIR_FROM_REFERENCE);
    config->addColorSpace(output);
    config->setRole(OCIO::ROLE_REFERENCE, inputSpace);
    const OCIO::BakerRcPtr baker = OCIO::Baker::Create();
    baker->setConfig(config);
    baker->setFormat(std::string(format).c_str());
    baker->setInputSpace(inputSpace);
    baker->setTargetSpace(bakedSpace);
    baker->setCubeSize(static_cast<int>(table.size()));
    std::ostringstream text;
    try {
        baker->bake(text);
    } catch (const OCIO::Exception& error) {
        preconditionFailed("baker->bake(text)", error.what(), __FILE__, __LINE__);
    }
    return text.str();
}

}  // namespace OCIOFile

}  // namespace lumivert
