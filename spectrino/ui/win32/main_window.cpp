#include "ui/win32/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <charconv>
#include <climits>

#include "core/app_info.h"
#include "filterbank/utonebank.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "ui/win32/dialogs/about_box.h"
#include "ui/win32/dialogs/colour_dialog.h"
#include "ui/win32/spectrum/gdi_fonts.h"
#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {

namespace {

constexpr const wchar_t* kPanelClassName = L"SpectrinoTestPanel";
constexpr UINT_PTR kResumeTimerId = 1;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// The test panel's radio buttons and what they run.
constexpr std::pair<int, const wchar_t*> kTestButtons[] = {
    {cmTestDevice, L"Device"},
    {cmTestSilence, L"Silence"},
    {cmTestNoise, L"Noise "},
    {cmTestRand, L"Rand"},
};

// A level box: an edit control with its up-down buddy.
struct LevelBox {
    int Edit;
    int UpDown;
    TLevelBox Levels;
};
constexpr LevelBox kNoiseBox{MainWindow::kNoiseEdit, MainWindow::kNoiseUpDown, kNoiseLevelBox};
constexpr LevelBox kRandLowBox{MainWindow::kRandLowEdit, MainWindow::kRandLowUpDown,
                               kRandLowLevelBox};
constexpr LevelBox kRandHighBox{MainWindow::kRandHighEdit, MainWindow::kRandHighUpDown,
                                kRandHighLevelBox};

HMENU CheckedMenu(HMENU menu) {
    if (menu == nullptr) {
        throw Exception("A menu could not be created (error " + std::to_string(::GetLastError()) +
                        ")");
    }
    return menu;
}

void Append(HMENU menu, int command, const wchar_t* caption) {
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(command), caption);
}

void AppendSeparator(HMENU menu) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

HMENU AppendSubmenu(HMENU menu, const wchar_t* caption) {
    HMENU submenu = CheckedMenu(::CreatePopupMenu());
    ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), caption);
    return submenu;
}

TBox ToBox(const RECT& rect) {
    return TBox{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

HWND MakeChild(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int w,
               int h, HWND parent, int id) {
    const HWND child = ::CreateWindowExW(0, className, text, WS_CHILD | style, x, y, w, h, parent,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         ::GetModuleHandleW(nullptr), nullptr);
    if (child == nullptr) {
        throw Exception("A control of the main window could not be created (error " +
                        std::to_string(::GetLastError()) + ")");
    }
    return child;
}

BOOL CALLBACK AddMonitorWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info) != FALSE && info.rcWork.right > info.rcWork.left &&
        info.rcWork.bottom > info.rcWork.top) {
        reinterpret_cast<std::vector<TBox>*>(data)->push_back(ToBox(info.rcWork));
    }
    return TRUE;
}

}  // namespace

void MainWindow::RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXW main{};
        main.cbSize = sizeof main;
        main.lpfnWndProc = &MainWindow::WindowProc;
        main.hInstance = ::GetModuleHandleW(nullptr);
        main.hIcon = ::LoadIconW(main.hInstance, L"MAINICON");
        main.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        main.lpszClassName = kClassName;
        // The test panel: a plain raised area that hears double-clicks.
        WNDCLASSEXW panel{};
        panel.cbSize = sizeof panel;
        panel.style = CS_DBLCLKS;
        panel.lpfnWndProc = &MainWindow::PanelProc;
        panel.hInstance = main.hInstance;
        panel.hCursor = main.hCursor;
        panel.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        panel.lpszClassName = kPanelClassName;
        return ::RegisterClassExW(&main) != 0 && ::RegisterClassExW(&panel) != 0;
    }();
    if (!registered) {
        throw Exception("The main window's classes could not be registered");
    }
}

MainWindow::MainWindow(platform::WaveInService* waveService) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
    RegisterClasses();
    font_ = MakeFont(GdiFontSpec{L"MS Shell Dlg 2", -11});
    blackBrush_ = Brush(::CreateSolidBrush(RGB(0, 0, 0)));
    CreateMenus();
    // The design place; the analyzer moves it from there.
    window_ =
        ::CreateWindowExW(0, kClassName, L"Spectrino", kStyle, static_cast<int>(kDesignPlace.Left),
                          static_cast<int>(kDesignPlace.Top), static_cast<int>(kDesignPlace.Width),
                          static_cast<int>(kDesignPlace.Height), nullptr, menuBar_,
                          ::GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        ::DestroyMenu(menuBar_);
        ::DestroyMenu(contextMenu_);
        throw Exception("The main window could not be created (error " +
                        std::to_string(::GetLastError()) + ")");
    }
    CreateTestPanel();
    blackPanel_ =
        MakeChild(L"STATIC", (Utf8ToWide(kToneBankFileName) + L" not found !!!").c_str(),
                  WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 0, 0, 0, 0, window_, kBlackPanel);
    ::SendMessageW(blackPanel_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    spectrum_ = std::make_unique<SpectrumWindow>(window_, 0, 0, kSpectrum);
    spectrum_->SetSamplerate(44100.0f);
    spectrum_->SetNotationFontColor(kPanelFontColor);
    spectrum_->SetSeperatorFontColor(kPanelFontColor);
    // The spectrum lies above the black panel, which shows only while it is hidden.
    ::SetWindowPos(spectrum_->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    spectrum_->OnRefresh = [this](TSpectArray& values) {
        Guarded([&] { analyzer_->Refresh(values); });
    };
    spectrum_->OnDblClick = [this] { Guarded([this] { ToggleTestPanel(); }); };
    Layout();
    analyzer_ =
        std::make_unique<TAnalyzer>(static_cast<AnalyzerWindow&>(*this), *spectrum_, waveService);
    analyzer_->Start();
}

MainWindow::~MainWindow() {
    if (window_ != nullptr) {
        QuitOnDestroy = false;
        ::DestroyWindow(window_);
    }
    if (contextMenu_ != nullptr) {
        ::DestroyMenu(contextMenu_);
    }
}

void MainWindow::CreateMenus() {
    menuBar_ = CheckedMenu(::CreateMenu());
    deviceMenu_ = AppendSubmenu(menuBar_, L"Device");
    HMENU rates = AppendSubmenu(menuBar_, L"Samplerate");
    Append(rates, cmRate44100, L"44100 Hz");
    Append(rates, cmRate48000, L"48000 Hz");
    // "Control Panel..." joins the bar while a driver's pair is the device.
    Append(menuBar_, cmAbout, L"About...");

    contextMenu_ = CheckedMenu(::CreatePopupMenu());
    Append(contextMenu_, cmOn, L"On");
    AppendSeparator(contextMenu_);
    Append(contextMenu_, cmPeakHold, L"Peak Hold");
    Append(contextMenu_, cmPeakDecay, L"Peak Decay");
    AppendSeparator(contextMenu_);
    HMENU decay = AppendSubmenu(contextMenu_, L"Decay Time");
    Append(decay, cmDecayTime + 3, L"Fast");
    Append(decay, cmDecayTime + 2, L"Medium");
    Append(decay, cmDecayTime + 1, L"Slow");
    AppendSeparator(contextMenu_);
    HMENU windowing = AppendSubmenu(contextMenu_, L"Windowing");
    const wchar_t* const windows[] = {L"Rectangular",     L"Blackman", L"Gaussian",
                                      L"Blackman-Harris", L"Hanning",  L"Hamming"};
    for (int tag = 0; tag < 6; ++tag) {
        Append(windowing, cmWindowing + tag, windows[tag]);
    }
    AppendSeparator(contextMenu_);
    HMENU input = AppendSubmenu(contextMenu_, L"Input Mode");
    Append(input, cmInputMode + 1, L"Left + Right");
    Append(input, cmInputMode + 2, L"Left");
    Append(input, cmInputMode + 3, L"Right");
    Append(input, cmInputMode + 4, L"Left-Right");
    AppendSeparator(contextMenu_);
    Append(contextMenu_, cmColors, L"Colors...");
    AppendSeparator(contextMenu_);
    Append(contextMenu_, cmAlwaysOnTop, L"Always on top");
}

void MainWindow::CreateTestPanel() {
    testPanel_ = MakeChild(kPanelClassName, L"", WS_CLIPSIBLINGS, 0, 0, 0, kPanelHeight, window_,
                           kTestPanel);
    ::SetWindowLongPtrW(testPanel_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // A raised edge, as a panel has.
    ::SetWindowLongPtrW(testPanel_, GWL_EXSTYLE, WS_EX_DLGMODALFRAME);
    ::SetWindowPos(testPanel_, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    const HWND group = MakeChild(L"BUTTON", L"Test-Data", WS_VISIBLE | BS_GROUPBOX, 2, 0, 440, 46,
                                 testPanel_, kGroupBox);
    const auto font = reinterpret_cast<WPARAM>(font_.Get());
    ::SendMessageW(group, WM_SETFONT, font, FALSE);
    int x = 10;
    const auto place = [&](HWND control, int width) {
        ::SendMessageW(control, WM_SETFONT, font, FALSE);
        ::MoveWindow(control, x, 18, width, 20, FALSE);
        x += width + 2;
    };
    const auto levelBox = [&](const LevelBox& box) {
        const TLevelBox& levels = box.Levels;
        const HWND edit = MakeChild(L"EDIT", std::to_wstring(levels.Value).c_str(),
                                    WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0,
                                    0, testPanel_, box.Edit);
        place(edit, 44);
        const HWND upDown = MakeChild(
            UPDOWN_CLASSW, L"",
            WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0, 0,
            0, 0, testPanel_, box.UpDown);
        ::SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
        ::SendMessageW(upDown, UDM_SETRANGE32,
                       static_cast<WPARAM>(levels.Unlimited() ? INT_MIN : levels.Minimum),
                       static_cast<LPARAM>(levels.Unlimited() ? INT_MAX : levels.Maximum));
        ::SendMessageW(upDown, UDM_SETPOS32, 0, static_cast<LPARAM>(levels.Value));
        ::EnableWindow(edit, FALSE);
        ::EnableWindow(upDown, FALSE);
    };
    const auto label = [&](const wchar_t* text, int width) {
        place(MakeChild(L"STATIC", text, WS_VISIBLE, 0, 0, 0, 0, testPanel_, -1), width);
    };
    const auto radio = [&](int command, const wchar_t* text, int width, bool first) {
        const HWND button = MakeChild(
            L"BUTTON", text, WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON | (first ? WS_GROUP : 0),
            0, 0, 0, 0, testPanel_, command);
        place(button, width);
        if (first) {
            ::SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
        }
    };
    radio(kTestButtons[0].first, kTestButtons[0].second, 56, true);
    radio(kTestButtons[1].first, kTestButtons[1].second, 58, false);
    radio(kTestButtons[2].first, kTestButtons[2].second, 54, false);
    levelBox(kNoiseBox);
    label(L"db", 16);
    radio(kTestButtons[3].first, kTestButtons[3].second, 46, false);
    levelBox(kRandLowBox);
    label(L"to", 14);
    levelBox(kRandHighBox);
    label(L"db", 16);
}

bool MainWindow::TestPanelShown() const {
    // Its own flag, also while the main window is hidden.
    return (::GetWindowLongPtrW(testPanel_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MainWindow::ToggleTestPanel() {
    ::ShowWindow(testPanel_, TestPanelShown() ? SW_HIDE : SW_SHOW);
    Layout();
}

void MainWindow::Layout() {
    RECT client{};
    ::GetClientRect(window_, &client);
    const int top = (testPanel_ != nullptr && TestPanelShown()) ? kPanelHeight : 0;
    if (testPanel_ != nullptr) {
        ::MoveWindow(testPanel_, 0, 0, client.right, kPanelHeight, TRUE);
    }
    const int height = std::max<int>(0, client.bottom - top);
    if (blackPanel_ != nullptr) {
        ::MoveWindow(blackPanel_, 0, top, client.right, height, TRUE);
    }
    if (spectrum_ != nullptr) {
        ::MoveWindow(spectrum_->Handle(), 0, top, client.right, height, TRUE);
    }
}

void MainWindow::Show() {
    // Devices, the design place and the stored settings before the window first paints.
    Guarded([this] { analyzer_->Show(); });
    if (::IsWindowVisible(window_) == FALSE) {
        ::ShowWindow(window_, SW_SHOW);
    }
    ::UpdateWindow(window_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    bool handled = false;
    // Nothing thrown may unwind through the system's code.
    Guarded([&] {
        result = self->HandleMessage(message, wParam, lParam);
        handled = true;
    });
    return handled ? result : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        switch (message) {
            case WM_LBUTTONDBLCLK:
                Guarded([self] { self->ToggleTestPanel(); });
                return 0;
            case WM_COMMAND:
            case WM_NOTIFY:
            case WM_VSCROLL:
                // The panel's controls report to the main window.
                return ::SendMessageW(self->window_, message, wParam, lParam);
            default:
                break;
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_CONTEXTMENU: {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (at.x == -1 && at.y == -1) {  // from the keyboard
                RECT rect{};
                ::GetWindowRect(window_, &rect);
                at = POINT{rect.left + 8, rect.top + 8};
            }
            const int command = ::TrackPopupMenu(contextMenu_, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                 at.x, at.y, 0, window_, nullptr);
            if (command != 0) {
                analyzer_->Command(command);
            }
            return 0;
        }
        case WM_INITMENUPOPUP:
            // The wave sources are read again whenever the Device menu opens.
            if (reinterpret_cast<HMENU>(wParam) == deviceMenu_) {
                analyzer_->RefreshDevices();
            }
            return 0;
        case WM_TIMER:
            if (wParam == kResumeTimerId) {
                analyzer_->ResumeWaveCapture();
            }
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            const TBox minimum = MinimumOuterSize();
            info->ptMinTrackSize = POINT{minimum.Width, minimum.Height};
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == blackPanel_) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                ::SetTextColor(dc, kPanelFontColor);
                ::SetBkColor(dc, RGB(0, 0, 0));
                return reinterpret_cast<LRESULT>(blackBrush_.Get());
            }
            return ::DefWindowProcW(window_, message, wParam, lParam);
        case WM_SETCURSOR:
            if (busy_) {
                ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
                return TRUE;
            }
            return ::DefWindowProcW(window_, message, wParam, lParam);
        case WM_CLOSE:
            ::DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            window_ = nullptr;
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void MainWindow::OnCommand(int id, int code, HWND control) {
    if (control == nullptr) {  // a menu item or accelerator
        analyzer_->Command(id);
        return;
    }
    if (code == BN_CLICKED && id >= cmTestDevice && id <= cmTestRand) {
        analyzer_->Command(id);
    }
}

void MainWindow::OnDestroy() {
    // The settings, with the place the window has before it goes.
    if (!shutDown_) {
        shutDown_ = true;
        ::KillTimer(window_, kResumeTimerId);
        analyzer_->Shutdown();
    }
    if (QuitOnDestroy) {
        ::PostQuitMessage(0);
    }
}

int MainWindow::LevelBoxValue(int edit, const TLevelBox& levels) const {
    wchar_t text[32] = {};
    ::GetDlgItemTextW(testPanel_, edit, text, static_cast<int>(std::size(text)));
    const std::string digits = WideToUtf8(text);
    int value = 0;
    const char* first = digits.data();
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return levels.Minimum;
    }
    return levels.Unlimited() ? value : std::clamp(value, levels.Minimum, levels.Maximum);
}

void MainWindow::SetChecked(int command, bool checked) {
    const HMENU menu = command == cmRate44100 || command == cmRate48000 || command >= cmDevice
                           ? menuBar_
                           : contextMenu_;
    ::CheckMenuItem(menu, static_cast<UINT>(command),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::SetCommandVisible(int command, bool visible) {
    if (command != cmControlPanel || visible == controlPanelShown_) {
        return;
    }
    // A menu bar has no hidden items: the entry comes and goes before "About...".
    if (visible) {
        ::InsertMenuW(menuBar_, cmAbout, MF_BYCOMMAND | MF_STRING, cmControlPanel,
                      L"Control Panel...");
    } else {
        ::DeleteMenu(menuBar_, cmControlPanel, MF_BYCOMMAND);
    }
    controlPanelShown_ = visible;
    ::DrawMenuBar(window_);
}

void MainWindow::SetDeviceItems(const std::vector<std::string>& captions) {
    while (::GetMenuItemCount(deviceMenu_) > 0) {
        ::DeleteMenu(deviceMenu_, 0, MF_BYPOSITION);
    }
    for (size_t i = 0; i < captions.size(); ++i) {
        Append(deviceMenu_, cmDevice + static_cast<int>(i), Utf8ToWide(captions[i]).c_str());
    }
}

void MainWindow::SetCaption(const std::string& caption) {
    ::SetWindowTextW(window_, Utf8ToWide(caption).c_str());
}

void MainWindow::EnableTestLevels(bool noise, bool rand) {
    for (const auto& [box, on] : {std::pair{kNoiseBox, noise}, std::pair{kRandLowBox, rand},
                                  std::pair{kRandHighBox, rand}}) {
        ::EnableWindow(::GetDlgItem(testPanel_, box.Edit), on ? TRUE : FALSE);
        ::EnableWindow(::GetDlgItem(testPanel_, box.UpDown), on ? TRUE : FALSE);
    }
}

TTestLevels MainWindow::TestLevels() const {
    return TTestLevels{LevelBoxValue(kNoiseBox.Edit, kNoiseBox.Levels),
                       LevelBoxValue(kRandLowBox.Edit, kRandLowBox.Levels),
                       LevelBoxValue(kRandHighBox.Edit, kRandHighBox.Levels)};
}

void MainWindow::SetTopmost(bool topmost) {
    ::SetWindowPos(window_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MainWindow::SetResumeTimer(bool running) {
    if (running) {
        ::SetTimer(window_, kResumeTimerId, 1000, nullptr);
    } else {
        ::KillTimer(window_, kResumeTimerId);
    }
}

void MainWindow::SetBusy(bool busy) {
    busy_ = busy;
    ::SetCursor(::LoadCursorW(nullptr, busy ? MAKEINTRESOURCEW(32514)     // IDC_WAIT
                                            : MAKEINTRESOURCEW(32512)));  // IDC_ARROW
}

bool MainWindow::EditColours(TColourSettings& settings) {
    return RunColourDialog(window_, settings);
}

void MainWindow::ShowAbout() {
    RunAboutBox(window_);
}

TBox MainWindow::NormalOuterRect() const {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(window_, &placement) == FALSE) {
        RECT rect{};
        ::GetWindowRect(window_, &rect);
        return ToBox(rect);
    }
    // The restored rectangle comes in work-area coordinates; the settings hold screen ones.
    RECT normal = placement.rcNormalPosition;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(::MonitorFromRect(&normal, MONITOR_DEFAULTTONEAREST), &info) != FALSE) {
        ::OffsetRect(&normal, info.rcWork.left - info.rcMonitor.left,
                     info.rcWork.top - info.rcMonitor.top);
    }
    return ToBox(normal);
}

TFrame MainWindow::Frame() const {
    // Everything around the client area, the menu bar included.
    RECT outer{};
    RECT client{};
    ::GetWindowRect(window_, &outer);
    ::GetClientRect(window_, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window_, &origin);
    return TFrame{origin.x - outer.left, origin.y - outer.top,
                  outer.right - (origin.x + client.right),
                  outer.bottom - (origin.y + client.bottom)};
}

std::vector<TBox> MainWindow::ScreenAreas() const {
    std::vector<TBox> areas;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitorWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

TBox MainWindow::MinimumOuterSize() const {
    // The spectrum's smallest size below the menu bar, with the frame around it.
    RECT rect{0, 0, SpectrumWindow::kMinWidth, SpectrumWindow::kMinHeight};
    ::AdjustWindowRectEx(&rect, kStyle, TRUE, 0);
    return TBox{0, 0, rect.right - rect.left, rect.bottom - rect.top};
}

void MainWindow::PlaceWindow(const TBox& outer, bool) {
    // The frame is known from the start here; the outer rectangle is placed as it is.
    ::SetWindowPos(window_, nullptr, outer.Left, outer.Top, outer.Width, outer.Height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

TWindowState MainWindow::WindowState() const {
    if (::IsIconic(window_) != FALSE) {
        return TWindowState::Minimized;
    }
    return ::IsZoomed(window_) != FALSE ? TWindowState::Maximized : TWindowState::Normal;
}

void MainWindow::SetWindowState(TWindowState state) {
    if (state == TWindowState::Minimized) {
        ::ShowWindow(window_, SW_SHOWMINIMIZED);
    } else if (state == TWindowState::Maximized) {
        ::ShowWindow(window_, SW_SHOWMAXIMIZED);
    }
}

}  // namespace spectrino::win32
