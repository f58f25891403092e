#include "ui/win32/dialogs/colour_dialog.h"

#include <commdlg.h>

#include <array>
#include <memory>
#include <optional>

#include "core/colour_dialog.h"
#include "ui/win32/dialogs/colour_button.h"
#include "ui/win32/dialogs/dialog_host.h"

namespace spectrino::win32 {
namespace {

// The window's outer size and place on the screen.
constexpr RECT kWindow{716, 266, 716 + 216, 266 + 203};
constexpr POINT kGroupOrigin{8, 8};
constexpr int kListDropHeight = 200;  // the list's height with its drop-down part open

RECT At(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

// A place given relative to the group box.
RECT InGroup(int left, int top, int width, int height) {
    return At(kGroupOrigin.x + left, kGroupOrigin.y + top, width, height);
}

class ColourDialogWindow final : public ModalDialog {
public:
    ColourDialogWindow(const TColourSettings& settings, const ColourDialogHooks& hooks)
        : settings_(settings), hooks_(hooks) {
        Shown = hooks.Shown;
    }

    const TColourSettings& Settings() const { return settings_; }

private:
    void OnInit() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND MakeList(const TThresholdList& thresholds, int id, const RECT& place);
    ColourButton& Swatch(TSwatch swatch) const { return *swatches_[static_cast<size_t>(swatch)]; }
    void ShowView(const TColourDialogView& view) const;
    TColourDialogView CurrentView() const;
    void PickColour(TSwatch swatch) const;
    void Accept();

    TColourSettings settings_;
    const ColourDialogHooks& hooks_;
    UniqueFont font_;
    std::array<std::unique_ptr<ColourButton>, 3> swatches_;
    HWND highList_ = nullptr;
    HWND midList_ = nullptr;
};

HWND ColourDialogWindow::MakeList(const TThresholdList& thresholds, int id, const RECT& place) {
    RECT dropped = place;
    dropped.bottom = dropped.top + kListDropHeight;
    HWND list = CreateControl(Handle(), L"COMBOBOX", L"",
                              WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, dropped, id, font_.get());
    for (int k = 0; k < thresholds.Count; ++k) {
        const std::wstring text = Widen(thresholds.ItemText(k));
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(thresholds.DesignItem), 0);
    return list;
}

void ColourDialogWindow::OnInit() {
    HWND dialog = Handle();
    font_ = MakeDialogFontPoints(8);
    SetWindowPos(dialog, nullptr, kWindow.left, kWindow.top, kWindow.right - kWindow.left,
                 kWindow.bottom - kWindow.top, SWP_NOZORDER | SWP_NOACTIVATE);

    // Creation order is tab order: the group's swatches and lists, then Reset, OK, Cancel.
    CreateControl(dialog, L"BUTTON", L"Bar Colors", BS_GROUPBOX, At(8, 8, 105, 153), kGroupBox,
                  font_.get());
    swatches_[0] =
        std::make_unique<ColourButton>(dialog, kHighSwatch, InGroup(8, 16, 25, 25), font_.get());
    swatches_[1] =
        std::make_unique<ColourButton>(dialog, kMidSwatch, InGroup(8, 45, 25, 35), font_.get());
    swatches_[2] =
        std::make_unique<ColourButton>(dialog, kLowSwatch, InGroup(8, 83, 25, 60), font_.get());
    // The two lists sit between the swatches, picturing the zone borders.
    highList_ = MakeList(kHighThresholds, kHighList, InGroup(38, 32, 60, 21));
    midList_ = MakeList(kMidThresholds, kMidList, InGroup(37, 72, 60, 21));
    CreateControl(dialog, L"BUTTON", L"Reset", WS_TABSTOP | BS_PUSHBUTTON, At(120, 64, 75, 25),
                  kResetButton, font_.get());
    CreateControl(dialog, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, At(120, 96, 75, 25),
                  IDOK, font_.get());
    CreateControl(dialog, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, At(120, 128, 75, 25),
                  IDCANCEL, font_.get());

    ShowView(ShowColourSettings(settings_));
}

void ColourDialogWindow::ShowView(const TColourDialogView& view) const {
    for (const auto swatch : {TSwatch::High, TSwatch::Mid, TSwatch::Low}) {
        ColourButton& button = Swatch(swatch);
        button.SetHoverColor(view.Colour(swatch));
        button.SetBackColor(view.Colour(swatch));
        button.SetForeColor(view.Colour(swatch));
    }
    SendMessageW(highList_, CB_SETCURSEL, static_cast<WPARAM>(view.HighItem), 0);
    SendMessageW(midList_, CB_SETCURSEL, static_cast<WPARAM>(view.MidItem), 0);
}

TColourDialogView ColourDialogWindow::CurrentView() const {
    TColourDialogView view;
    for (const auto swatch : {TSwatch::High, TSwatch::Mid, TSwatch::Low}) {
        // The hover colour: the face shows it while the pointer is over the swatch.
        view.Colour(swatch) = Swatch(swatch).HoverColor();
    }
    view.HighItem = static_cast<int>(SendMessageW(highList_, CB_GETCURSEL, 0, 0));
    view.MidItem = static_cast<int>(SendMessageW(midList_, CB_GETCURSEL, 0, 0));
    return view;
}

void ColourDialogWindow::PickColour(TSwatch swatch) const {
    ColourButton& button = Swatch(swatch);
    TColor colour = button.BackColor();
    const bool chosen = hooks_.ChooseColour ? hooks_.ChooseColour(Handle(), colour)
                                            : ChooseColour(Handle(), colour);
    if (chosen) {
        button.SetBackColor(colour);
        button.SetHoverColor(colour);
        button.SetForeColor(colour);
    }
}

void ColourDialogWindow::Accept() {
    TColourSettings accepted = settings_;
    if (const auto error = AcceptColourView(CurrentView(), accepted)) {
        const std::wstring text = Widen(error->Text);
        const std::wstring caption = Widen(error->Caption);
        if (hooks_.ShowError) {
            hooks_.ShowError(Handle(), text, caption);
        } else {
            MessageBoxW(Handle(), text.c_str(), caption.c_str(), MB_ICONERROR);
        }
        return;  // stays open
    }
    settings_ = accepted;
    End(IDOK);
}

INT_PTR ColourDialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        return ReflectDrawItem(lParam) ? TRUE : FALSE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case kHighSwatch:
            PickColour(TSwatch::High);
            return TRUE;
        case kMidSwatch:
            PickColour(TSwatch::Mid);
            return TRUE;
        case kLowSwatch:
            PickColour(TSwatch::Low);
            return TRUE;
        case kResetButton:
            ShowView(ResetColourView());
            return TRUE;
        case IDOK:
            Accept();
            return TRUE;
        case IDCANCEL:  // also the close box and Escape
            End(IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool ChooseColour(HWND owner, TColor& colour) {
    // The custom colours the user mixed stay for the program's run.
    static std::array<COLORREF, 16> custom{};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = owner;
    choose.rgbResult = ColourRef(colour);
    choose.lpCustColors = custom.data();
    choose.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (!ChooseColorW(&choose)) {
        return false;
    }
    colour = choose.rgbResult & 0x00FFFFFFu;
    return true;
}

bool RunColourDialog(HWND owner, TColourSettings& settings, const ColourDialogHooks& hooks) {
    ColourDialogWindow dialog(settings, hooks);
    if (dialog.Run(owner, Widen(kColourDialogCaption)) != IDOK) {
        return false;
    }
    settings = dialog.Settings();
    return true;
}

}  // namespace spectrino::win32
