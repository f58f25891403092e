#include "ui/win32/dialogs/about_box.h"

#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <string>

#include "core/about_texts.h"
#include "ui/win32/dialogs/dialog_host.h"

namespace spectrino::win32 {
namespace {

constexpr SIZE kClient{465, 358};
constexpr int kIconSize = 48;
constexpr SIZE kDonationButton{167, 76};
constexpr int kMargin = 8;
constexpr WORD kHandCursor = 32649;  // IDC_HAND

RECT At(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

void OpenWithShell(const std::wstring& link) {
    ShellExecuteW(nullptr, L"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

class AboutBoxWindow final : public ModalDialog {
public:
    explicit AboutBoxWindow(const AboutBoxHooks& hooks) : hooks_(hooks) {
        Shown = hooks.Shown;
        // Decided once, when the box is made: the language of the donation page.
        const uint16_t language =
            hooks.UserLanguage ? hooks.UserLanguage() : GetUserDefaultLangID();
        german_ = IsGermanLanguageId(language);
    }

private:
    void OnInit() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void PlaceDialog() const;
    RECT MakePage();
    void AddTooltip(HWND tooltip, HWND control, const std::wstring& text) const;
    bool IsLink(HWND control) const;
    void Open(const std::string& link) const;
    void DrawDonationButton(const DRAWITEMSTRUCT& item) const;

    const AboutBoxHooks& hooks_;
    bool german_ = false;
    TAboutTexts texts_;
    UniqueFont font_;
    UniqueFont nameFont_;
    UniqueFont copyrightFont_;
    UniqueFont donateFont_;
    UniqueIcon icon_;
    std::wstring webTip_;  // the tooltip keeps a pointer to it
    std::array<HWND, 4> links_{};
};

void AboutBoxWindow::PlaceDialog() const {
    HWND dialog = Handle();
    RECT outer{0, 0, kClient.cx, kClient.cy};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    // Centred on the work area of the screen the owner is on.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    HWND owner = GetWindow(dialog, GW_OWNER);
    GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : dialog, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(dialog, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The tab control with its one tab; returns the area of the tab's page.
RECT AboutBoxWindow::MakePage() {
    HWND tabs = CreateControl(Handle(), WC_TABCONTROLW, L"", WS_CLIPSIBLINGS,
                              At(kMargin, kMargin, kClient.cx - 2 * kMargin, 306), kPageControl,
                              font_.get());
    std::wstring caption = Widen(kAboutTabCaption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    // The page's controls lie over the tab control, which paints around them.
    SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT page{};
    GetWindowRect(tabs, &page);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&page), 2);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    return page;
}

void AboutBoxWindow::AddTooltip(HWND tooltip, HWND control, const std::wstring& text) const {
    if (tooltip == nullptr || text.empty()) {
        return;
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void AboutBoxWindow::OnInit() {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    HWND dialog = Handle();
    font_ = MakeDialogFont(11);
    nameFont_ = MakeDialogFont(21);
    copyrightFont_ = MakeDialogFont(13, true);
    donateFont_ = MakeDialogFont(18, true);
    PlaceDialog();

    // What a showing takes from the version strings.
    texts_ = MakeAboutTexts(AppAboutStrings(), german_);

    const RECT page = MakePage();
    const int left = page.left + kMargin;
    const int right = page.right - kMargin;
    const int width = right - left;
    const int top = page.top + kMargin;
    const DWORD link = SS_NOTIFY;

    HWND image = CreateControl(dialog, L"STATIC", L"", link | SS_ICON | SS_REALSIZECONTROL,
                               At(left, top, kIconSize, kIconSize), kProductImage, nullptr);
    icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, kIconSize, kIconSize, 0)));
    if (icon_) {
        SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
        SetWindowPos(image, nullptr, left, top, kIconSize, kIconSize,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND name = CreateControl(
        dialog, L"STATIC", Widen(texts_.NameVersion).c_str(), link | SS_CENTER | SS_CENTERIMAGE,
        At(left + kIconSize + kMargin, top, width - 2 * (kIconSize + kMargin), kIconSize),
        kNameVersionLabel, nameFont_.get());
    HWND copyright =
        CreateControl(dialog, L"STATIC", Widen(texts_.Copyright).c_str(), link | SS_CENTER,
                      At(left, top + 56, width, 20), kCopyrightLabel, copyrightFont_.get());
    CreateControl(dialog, L"STATIC", Widen(CreditText("native Windows controls")).c_str(), SS_LEFT,
                  At(left, top + 88, width, 32), kCreditLabel, font_.get());
    CreateControl(dialog, L"STATIC", Widen(kTermsText).c_str(), SS_LEFT,
                  At(left, top + 124, width, 32), kTermsLabel, font_.get());
    const int donationTop = page.bottom - kMargin - kDonationButton.cy;
    CreateControl(
        dialog, L"STATIC", Widen(kDonationText).c_str(), SS_LEFT,
        At(left, donationTop + 8, width - kDonationButton.cx - kMargin, kDonationButton.cy - 16),
        kDonationLabel, font_.get());
    HWND paypal = CreateControl(
        dialog, L"STATIC", Widen(kDonationButtonText).c_str(), link | SS_OWNERDRAW,
        At(right - kDonationButton.cx, donationTop, kDonationButton.cx, kDonationButton.cy),
        kPaypalImage, donateFont_.get());
    CreateControl(dialog, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON,
                  At((kClient.cx - 75) / 2, kClient.cy - 33, 75, 25), IDOK, font_.get());
    links_ = {image, name, copyright, paypal};

    // The web page shows as the tooltip of the name and the icon.
    webTip_ = Widen(texts_.WebLink);
    HWND tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   dialog, nullptr, GetModuleHandleW(nullptr), nullptr);
    AddTooltip(tooltip, name, webTip_);
    AddTooltip(tooltip, image, webTip_);
    SetFocus(GetDlgItem(dialog, IDOK));
}

bool AboutBoxWindow::IsLink(HWND control) const {
    for (HWND link : links_) {
        if (link != nullptr && link == control) {
            return true;
        }
    }
    return false;
}

void AboutBoxWindow::Open(const std::string& link) const {
    // An empty link has nowhere to go.
    if (link.empty()) {
        return;
    }
    const std::wstring wide = Widen(link);
    if (hooks_.OpenLink) {
        hooks_.OpenLink(wide);
    } else {
        OpenWithShell(wide);
    }
}

// A plain rounded button picture with its caption.
void AboutBoxWindow::DrawDonationButton(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    const int saved = SaveDC(dc);
    RECT frame = item.rcItem;
    InflateRect(&frame, -4, -12);
    const UniqueBrush fill(CreateSolidBrush(RGB(0xF8, 0xC0, 0x44)));
    const UniquePen edge(CreatePen(PS_SOLID, 1, RGB(0xB3, 0x74, 0x00)));
    SelectObject(dc, fill.get());
    SelectObject(dc, edge.get());
    RoundRect(dc, frame.left, frame.top, frame.right, frame.bottom, 40, 40);
    SelectObject(dc, donateFont_.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x1F, 0x2A, 0x44));
    const std::wstring caption = Widen(kDonationButtonText);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &frame,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    RestoreDC(dc, saved);
}

INT_PTR AboutBoxWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETCURSOR:
            if (IsLink(reinterpret_cast<HWND>(wParam))) {
                SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(kHandCursor)));
                SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            // The page's texts lie on the tab's page, whatever colour the theme gives it.
            const auto dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, TRANSPARENT);
            if (reinterpret_cast<HWND>(lParam) == links_[2]) {
                SetTextColor(dc, RGB(0, 0, 0xFF));
            }
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID != kPaypalImage) {
                return FALSE;
            }
            DrawDonationButton(item);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    End(LOWORD(wParam));
                    return TRUE;
                case kProductImage:
                case kNameVersionLabel:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        Open(texts_.WebLink);
                    }
                    return TRUE;
                case kCopyrightLabel:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        Open(texts_.MailLink);
                    }
                    return TRUE;
                case kPaypalImage:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        Open(texts_.DonationLink);
                    }
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

}  // namespace

void RunAboutBox(HWND owner, const AboutBoxHooks& hooks) {
    AboutBoxWindow box(hooks);
    box.Run(owner, Widen(kAboutCaption));
}

}  // namespace spectrino::win32
