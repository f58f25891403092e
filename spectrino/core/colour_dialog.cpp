#include "core/colour_dialog.h"

#include <algorithm>
#include <cstdint>

namespace spectrino {

int TThresholdList::ItemOf(int threshold) const {
    // 64 bits: negating the most negative int must not overflow.
    const int64_t item = -static_cast<int64_t>(threshold) / 2 - FirstStep;
    return static_cast<int>(std::clamp<int64_t>(item, 0, Count - 1));
}

int TThresholdList::ThresholdOf(int item) const {
    return -2 * (item + FirstStep);
}

std::string TThresholdList::ItemText(int item) const {
    return std::to_string(ThresholdOf(item)) + " db";
}

TColourDialogView ShowColourSettings(const TColourSettings& settings) {
    TColourDialogView view;
    view.Colour(TSwatch::High) = settings.HighColor;
    view.Colour(TSwatch::Mid) = settings.MidColor;
    view.Colour(TSwatch::Low) = settings.LowColor;
    view.HighItem = kHighThresholds.ItemOf(settings.HighTresh);
    view.MidItem = kMidThresholds.ItemOf(settings.MidTresh);
    return view;
}

TColourDialogView ResetColourView() {
    return ShowColourSettings(TColourSettings{});
}

std::optional<TColourDialogError> AcceptColourView(const TColourDialogView& view,
                                                   TColourSettings& settings) {
    settings.HighColor = view.Colour(TSwatch::High);
    settings.MidColor = view.Colour(TSwatch::Mid);
    settings.LowColor = view.Colour(TSwatch::Low);
    const int high = kHighThresholds.ThresholdOf(view.HighItem);
    const int mid = kMidThresholds.ThresholdOf(view.MidItem);
    if (high < mid) {
        return TColourDialogError{kOverlapText, kOverlapCaption};
    }
    settings.HighTresh = high;
    settings.MidTresh = mid;
    return std::nullopt;
}

}  // namespace spectrino
