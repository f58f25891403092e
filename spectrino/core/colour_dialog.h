// What the colour dialog decides, apart from any window system: the two threshold lists, what
// the dialog shows for given settings, and what Reset and OK do. The front ends only wire
// controls to it.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/colour_settings.h"

namespace spectrino {

// A drop-down list of thresholds: item k stands for -2 * (k + FirstStep) dB.
struct TThresholdList {
    int FirstStep;
    int Count;
    int DesignItem;  // the item a fresh or reset dialog shows

    // The item showing `threshold`; values off the list show as its nearest end.
    int ItemOf(int threshold) const;
    int ThresholdOf(int item) const;
    // "-2 db", "-4 db", ...
    std::string ItemText(int item) const;
};

inline constexpr TThresholdList kHighThresholds{1, 10, 4};  // "-2 db" .. "-20 db"
inline constexpr TThresholdList kMidThresholds{2, 19, 8};   // "-4 db" .. "-40 db"

inline constexpr char kColourDialogCaption[] = "Analyzer Color Settings";
inline constexpr char kOverlapText[] = "Overlapping Threshold!";
inline constexpr char kOverlapCaption[] = "Analyzer";

// The swatches from top to bottom.
enum class TSwatch { High = 0, Mid = 1, Low = 2 };

// What the open dialog holds: the three swatch colours and the two list items.
struct TColourDialogView {
    std::array<TColor, 3> Colours{};  // indexed by TSwatch
    int HighItem = kHighThresholds.DesignItem;
    int MidItem = kMidThresholds.DesignItem;

    TColor& Colour(TSwatch swatch) { return Colours[static_cast<size_t>(swatch)]; }
    TColor Colour(TSwatch swatch) const { return Colours[static_cast<size_t>(swatch)]; }
    bool operator==(const TColourDialogView&) const = default;
};

// What the dialog shows when it opens on `settings`.
TColourDialogView ShowColourSettings(const TColourSettings& settings);

// What Reset puts in place: the default colours and the design items.
TColourDialogView ResetColourView();

// The message box of a refused OK.
struct TColourDialogError {
    std::string Text;
    std::string Caption;
};

// OK: the colours always reach `settings`; the thresholds only when the high one does not lie
// below the mid one, otherwise the error to show (and the dialog stays open).
std::optional<TColourDialogError> AcceptColourView(const TColourDialogView& view,
                                                   TColourSettings& settings);

}  // namespace spectrino
