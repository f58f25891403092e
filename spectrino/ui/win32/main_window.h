// The main window on Win32: menu bar and context menu whose command ids are the analyzer's
// commands, the hidden test panel, the spectrum and the black panel behind it. The analyzer
// decides what they show; this class only wires and lays out.
#pragma once

#include "ui/win32/spectrum/win32_api.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/analyzer.h"
#include "ui/win32/spectrum/gdi_handles.h"
#include "ui/win32/spectrum/spectrum_window.h"

namespace spectrino::win32 {

class MainWindow : private AnalyzerWindow {
public:
    static constexpr const wchar_t* kClassName = L"SpectrinoMainWindow";
    static constexpr int kPanelHeight = 52;
    // Child control ids.
    enum Control : int {
        kSpectrum = 50,
        kBlackPanel,
        kTestPanel,
        kGroupBox,
        kNoiseEdit = 20,
        kRandLowEdit,
        kRandHighEdit,
        kNoiseUpDown = 30,
        kRandLowUpDown,
        kRandHighUpDown,
    };

    // Makes the window hidden and starts the analyzer; throws Exception when the window
    // cannot be made.
    explicit MainWindow(platform::WaveInService* waveService = nullptr);
    // Stores the settings and stops the analyzer when the window was not closed.
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Places the window from the stored settings, then shows it.
    void Show();

    HWND Handle() const { return window_; }
    HMENU MenuBar() const { return menuBar_; }
    HMENU ContextMenu() const { return contextMenu_; }
    HMENU DeviceMenu() const { return deviceMenu_; }
    HWND TestPanel() const { return testPanel_; }
    HWND BlackPanel() const { return blackPanel_; }
    SpectrumWindow& Spectrum() { return *spectrum_; }
    TAnalyzer& Analyzer() { return *analyzer_; }
    bool TestPanelShown() const;

    // Ends the message loop once the window is gone.
    bool QuitOnDestroy = true;

private:
    static void RegisterClasses();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateMenus();
    void CreateTestPanel();
    void Layout();
    void ToggleTestPanel();
    void OnCommand(int id, int code, HWND control);
    void OnDestroy();
    // A level box's value: its text as a whole number, held to its range; text that is no
    // number reads as the range's minimum.
    int LevelBoxValue(int edit, const TLevelBox& levels) const;

    // AnalyzerWindow
    void SetChecked(int command, bool checked) override;
    void SetCommandVisible(int command, bool visible) override;
    void SetDeviceItems(const std::vector<std::string>& captions) override;
    void SetCaption(const std::string& caption) override;
    void EnableTestLevels(bool noise, bool rand) override;
    TTestLevels TestLevels() const override;
    void SetTopmost(bool topmost) override;
    void SetResumeTimer(bool running) override;
    void SetBusy(bool busy) override;
    bool EditColours(TColourSettings& settings) override;
    void ShowAbout() override;
    TBox NormalOuterRect() const override;
    TFrame Frame() const override;
    std::vector<TBox> ScreenAreas() const override;
    TBox MinimumOuterSize() const override;
    void PlaceWindow(const TBox& outer, bool outerOnceFramed) override;
    TWindowState WindowState() const override;
    void SetWindowState(TWindowState state) override;

    HWND window_ = nullptr;
    HMENU menuBar_ = nullptr;
    HMENU deviceMenu_ = nullptr;
    HMENU contextMenu_ = nullptr;  // owned: not attached to a window
    HWND testPanel_ = nullptr;
    HWND blackPanel_ = nullptr;
    Font font_;
    Brush blackBrush_;
    std::unique_ptr<SpectrumWindow> spectrum_;
    std::unique_ptr<TAnalyzer> analyzer_;
    bool controlPanelShown_ = false;
    bool busy_ = false;
    bool shutDown_ = false;
};

}  // namespace spectrino::win32
