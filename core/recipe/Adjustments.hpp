#pragma once

// Every adjustment of a grade, each said once: its key, title and help, its range, default and
// step, the name of its undo step, its command-line option, its automation variable, the modes
// it applies to and the field of GradeRecipe::Settings it sets. The window's controls, the undo
// history, the automation and the command line walk this table; a new adjustment is one row and
// one field.

#include "recipe/GradeRecipe.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert::GradeRecipe {

// What an adjustment holds and how it is typed.
enum class AdjustmentKind : std::uint8_t {
    numbers,  // one slider per value; the option and the variable take them comma-separated
    choice,   // one of named values
    toggle    // on or off; the option is a flag, and the variable turns it on when set
};

// Where the window shows the control.
enum class AdjustmentCard : std::uint8_t { mode, fineTune };

// How a slider spreads its range and shows its value.
enum class AdjustmentScale : std::uint8_t {
    percent,        // linear; "80%"
    signedPercent,  // linear; "+12", "0", "-5"
    coarseness      // logarithmic between the ends; "Fine", "Balanced" or "Smooth"
};

// One value of a numbers adjustment: one slider, one comma-separated value of its option.
struct AdjustmentValue {
    std::string_view key;  // "colourCast": as summaries and scripts spell it
    std::string_view title;
    std::string_view help;  // empty: none
    float& (*field)(Settings&);

    float of(const Settings& settings) const;
    float defaultValue() const { return of(Settings{}); }
};

struct Adjustment {
    std::string_view key;  // "lookSettings": as summaries spell it
    std::string_view title;
    std::string_view help;  // the option's help; a choice's and a toggle's control help too
    AdjustmentKind kind;
    ModeSet modes;  // the modes whose grade it shapes
    AdjustmentCard card;
    AdjustmentScale scale;
    Range range;  // of each value; the defaults are the settings record's own
    double step;  // one key press on its slider, in the slider's units
    std::string_view undoName;
    std::string_view option;     // "--look-settings"
    std::string_view variable;   // "LUMIVERT_LOOK_SETTINGS"
    std::string_view storedKey;  // a preference remembered between sessions; empty: none
    bool refits;  // it changes the edit's fit itself, not only the grade made from it
    // It changes how the images look to their analysis, which then runs again.
    bool reanalyses;
    std::span<const AdjustmentValue> values;  // numbers
    std::span<const Choice> choices;          // choice
    // The chosen choice's index (choice), or 0 / 1 (toggle).
    std::size_t (*chosen)(const Settings&);
    void (*choose)(Settings&, std::size_t);

    bool operator==(const Adjustment& other) const { return key == other.key; }
    bool same(const Settings& x, const Settings& y) const;
    // The adjustment of `to` with the rest of `settings` kept.
    void copy(const Settings& from, Settings& to) const;
};

// In the order of the window's controls and of the automation.
std::span<const Adjustment> adjustments();
const Adjustment& adjustmentKeyed(std::string_view key);

// The adjustments the mode's controls (or the fine-tune card) show, in table order.
std::vector<const Adjustment*> adjustmentsOf(Mode mode, AdjustmentCard card);
// The adjustments in which two settings differ.
std::vector<const Adjustment*> differences(const Settings& x, const Settings& y);

// What is wrong with values given for a numbers adjustment, as a sentence naming `name` (its
// option or its variable): not finite, or outside the range. Nothing when they are fine.
std::optional<std::string> problemWith(const Adjustment& adjustment, std::span<const float> values,
                                       std::string_view name);
// Sets the values in order (their count is the adjustment's).
void assign(const Adjustment& adjustment, std::span<const float> values, Settings& settings);

// Reads an automation variable's text into the settings, as the command line reads its option:
// numbers in the C locale, comma-separated (spaces and tabs around each trimmed, empty pieces
// dropped), exactly as many as the adjustment has, finite and within its range; a choice's name;
// any text turns a toggle on. Returns the sentence saying what is wrong, and then leaves the
// settings as they were.
std::optional<std::string> assignText(const Adjustment& adjustment, std::string_view text,
                                      Settings& settings);

// A whole decimal number in the C locale with nothing around it, finite and representable as
// the type; nothing otherwise ("0,5", " 1", "nan", "1e309").
std::optional<double> wholeNumber(std::string_view text);
std::optional<std::int64_t> wholeInteger(std::string_view text);

}  // namespace lumivert::GradeRecipe
