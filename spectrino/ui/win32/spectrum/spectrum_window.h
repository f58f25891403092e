// The bar-graph control on Win32: a child window with its refresh timer and a GDI canvas
// around the spectrum renderer, which decides what is drawn where.
#pragma once

#include <memory>

#include "core/spectrum_control.h"
#include "ui/win32/spectrum/gdi_canvas.h"
#include "ui/win32/spectrum/win32_api.h"

namespace spectrino::win32 {

class SpectrumWindow : public SpectrumControl {
public:
    static constexpr int kInitialWidth = 450;
    static constexpr int kInitialHeight = 240;
    // The parent keeps the control at least this large.
    static constexpr int kMinWidth = 456;
    static constexpr int kMinHeight = 240;
    static constexpr UINT kRefreshInterval = 80;  // ms
    static constexpr UINT_PTR kRefreshTimerId = 1;
    static constexpr const wchar_t* kClassName = L"SpectrinoSpectrum";

    // A visible child of parent at (x, y) with the initial size; throws Exception when the
    // window cannot be made.
    explicit SpectrumWindow(HWND parent, int x = 0, int y = 0, int id = 0);
    ~SpectrumWindow() override;
    SpectrumWindow(const SpectrumWindow&) = delete;
    SpectrumWindow& operator=(const SpectrumWindow&) = delete;

    HWND Handle() const { return window_; }

    void Invalidate() override;
    void SetEnabled(bool value) override;
    void SetShown(bool value) override;
    bool Enabled() const;
    bool RefreshTimerActive() const { return timerActive_; }

    void SetNotationFont(const GdiFontSpec& spec);
    void SetSeperatorFont(const GdiFontSpec& spec);

    // Renders the whole picture: background, scale, separators, every bar.
    void Paint();
    // The timer's work: the read-out, then fresh levels.
    void TimerTick();

    // The picture as drawn so far; null without a client area.
    const Dib* Picture() const { return canvas_.Picture(); }
    int PlotTop() const { return Renderer().TopMargin(); }
    int PlotBottom() const { return Renderer().PlotBottom(canvas_.Height()); }
    int BarLeft(int band) const { return Renderer().BarLeft(band); }

private:
    class DrawingPass;

    static void RegisterClassOnce();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaintMessage();
    void OnSize(int width, int height);
    void OnMouseMove(int x, int y);
    void StartTimer();
    void StopTimer();

    HWND window_ = nullptr;
    GdiCanvas canvas_;
    int drawingDepth_ = 0;
    bool paintPosted_ = false;
    bool paintPending_ = true;
    bool timerActive_ = false;
};

}  // namespace spectrino::win32
