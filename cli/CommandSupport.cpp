#include "cli/CommandSupport.hpp"

#include "cli/CommandFailure.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace lumivert::CommandSupport {

namespace {

using std::filesystem::path;

std::string between(double lower, double upper)
{
    return "between " + numberText(lower) + " and " + numberText(upper) + ".";
}

}  // namespace

std::string numberText(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

void requireFinite(const std::vector<float>& values, const std::string& option)
{
    if (!std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
        throw UsageError("The values of " + option + " must be finite numbers.");
}

void requireWithin(double value, double lower, double upper, const std::string& option)
{
    if (!(value >= lower && value <= upper))
        throw UsageError("The " + option + " must lie " + between(lower, upper));
}

void requireWithin(float value, const GradeRecipe::Range& range, const std::string& option)
{
    requireFinite({value}, option);
    requireWithin(value, range.lower, range.upper, option);
}

void requireWithin(const std::vector<float>& values, const GradeRecipe::Range& range,
                   const std::string& option)
{
    requireFinite(values, option);
    if (!std::all_of(values.begin(), values.end(), [&](float v) { return range.contains(v); }))
        throw UsageError("The " + option + " values must lie " + between(range.lower, range.upper));
}

ExportPlan::Plan plannedFiles(const std::optional<path>& output,
                              std::optional<ExportPlan::ExportChoice> choice,
                              const std::string& title, const std::vector<path>& inputs)
{
    using Reason = ExportPlan::ExportPlanError::Reason;
    try {
        ExportPlan::Plan plan = ExportPlan::files(output, choice, title);
        ExportPlan::refuseUnsafe(plan, inputs);
        return plan;
    } catch (const ExportPlan::ExportPlanError& error) {
        switch (error.reason()) {
        case Reason::unknownExtension:
            throw UsageError("The output " + quotedName(error.file()) +
                             " needs the extension .cube, .3dl or .png, or a --format.");
        case Reason::sharedPath: throw UsageError(error.what());
        case Reason::replacesInput:
            throw CommandFailure(GradeRecipe::saveLUTFailedTitle, error.what());
        }
        throw;
    }
}

void writeLUTs(const LUT3D& lut, const ExportPlan::Plan& plan, const std::string& title)
{
    attempt(GradeRecipe::saveLUTFailedTitle, [&] { ExportPlan::write(lut, plan, title); });
    for (const ExportPlan::PlannedFile& file : plan)
        std::cout << "Saved " << file.path.string() << '\n';
}

}  // namespace lumivert::CommandSupport
