// The spectrum control as the analyzer drives it, on any window system: the renderer's settings
// with a repaint when one changes. A front end supplies the repaint, the refresh timer and the
// canvas; the analyzer sees only this.
#pragma once

#include "core/spectrum_renderer.h"

namespace spectrino {

class SpectrumControl {
public:
    virtual ~SpectrumControl() = default;

    // Asks the owner for 128 fresh levels; the handler writes every entry.
    std::function<void(TSpectArray&)> OnRefresh;
    std::function<void()> OnDblClick;

    SpectrumRenderer& Renderer() { return renderer_; }
    const SpectrumRenderer& Renderer() const { return renderer_; }

    // A full paint at the next pass of the event loop (coalesced).
    virtual void Invalidate() = 0;
    // Disabling stops the refresh timer and clears every bar and peak.
    virtual void SetEnabled(bool value) = 0;
    // Hidden, it leaves the panel behind it to show.
    virtual void SetShown(bool value) = 0;

    float Samplerate() const { return renderer_.Samplerate(); }
    void SetSamplerate(float value) { InvalidateIf(renderer_.SetSamplerate(value)); }
    void GetBand(int index, float& centre, float& width) const {
        renderer_.GetBand(index, centre, width);
    }

    TPeakDisplay PeakDisplay() const { return renderer_.Tracker().PeakDisplay(); }
    void SetPeakDisplay(TPeakDisplay value) { renderer_.Tracker().SetPeakDisplay(value); }
    TDecaySpeed DecaySpeed() const { return renderer_.Tracker().DecaySpeed(); }
    void SetDecaySpeed(TDecaySpeed value) { renderer_.Tracker().SetDecaySpeed(value); }

    TColor Color() const { return renderer_.Color(); }
    void SetColor(TColor value) { InvalidateIf(renderer_.SetColor(value)); }
    TColor HighColor() const { return renderer_.HighColor(); }
    void SetHighColor(TColor value) { InvalidateIf(renderer_.SetHighColor(value)); }
    TColor MidColor() const { return renderer_.MidColor(); }
    void SetMidColor(TColor value) { InvalidateIf(renderer_.SetMidColor(value)); }
    TColor LowColor() const { return renderer_.LowColor(); }
    void SetLowColor(TColor value) { InvalidateIf(renderer_.SetLowColor(value)); }
    int HighTreshhold() const { return renderer_.Tracker().HighTreshhold(); }
    void SetHighTreshhold(int value) { InvalidateIf(renderer_.SetHighTreshhold(value)); }
    int MidTreshhold() const { return renderer_.Tracker().MidTreshhold(); }
    void SetMidTreshhold(int value) { InvalidateIf(renderer_.SetMidTreshhold(value)); }
    TColor ScaleColor() const { return renderer_.ScaleColor(); }
    void SetScaleColor(TColor value) { InvalidateIf(renderer_.SetScaleColor(value)); }
    TColor SeperatorColor() const { return renderer_.SeperatorColor(); }
    void SetSeperatorColor(TColor value) { InvalidateIf(renderer_.SetSeperatorColor(value)); }
    TColor NotationFontColor() const { return renderer_.NotationFontColor(); }
    void SetNotationFontColor(TColor value) { InvalidateIf(renderer_.SetNotationFontColor(value)); }
    TColor SeperatorFontColor() const { return renderer_.SeperatorFontColor(); }
    void SetSeperatorFontColor(TColor value) {
        InvalidateIf(renderer_.SetSeperatorFontColor(value));
    }

    const TSpectArray& Levels() const { return renderer_.Tracker().Levels(); }
    const TSpectArray& Peaks() const { return renderer_.Tracker().Peaks(); }
    const TSpectArray& PeakZones() const { return renderer_.Tracker().PeakZones(); }

protected:
    // The owner's refresh handler in the renderer's terms; empty without one. A copy of the
    // handler survives the handler replacing itself.
    SpectrumRenderer::RefreshHandler Handler() const {
        if (!OnRefresh) {
            return {};
        }
        return [handler = OnRefresh](TSpectArray& values) { handler(values); };
    }
    void InvalidateIf(bool changed) {
        if (changed) {
            Invalidate();
        }
    }

private:
    SpectrumRenderer renderer_;
};

}  // namespace spectrino
