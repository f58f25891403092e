#include "ui/win32/spectrum/spectrum_window.h"

#include <windowsx.h>

#include <string>

#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {

namespace {

// Private to the class: the coalesced full paint.
constexpr UINT kPaintMessage = WM_USER + 1;

bool IsEmpty(const RECT& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

}  // namespace

// One drawing pass on the canvas; the outermost pass asks the window to show what changed.
class SpectrumWindow::DrawingPass {
public:
    explicit DrawingPass(SpectrumWindow& owner) : owner_(owner) { ++owner_.drawingDepth_; }
    ~DrawingPass() {
        if (--owner_.drawingDepth_ > 0) {
            return;
        }
        const RECT dirty = owner_.canvas_.TakeDirty();
        if (!IsEmpty(dirty) && owner_.window_ != nullptr) {
            ::InvalidateRect(owner_.window_, &dirty, FALSE);
        }
    }
    DrawingPass(const DrawingPass&) = delete;
    DrawingPass& operator=(const DrawingPass&) = delete;

private:
    SpectrumWindow& owner_;
};

void SpectrumWindow::RegisterClassOnce() {
    static const ATOM atom = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &SpectrumWindow::WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));  // IDC_CROSS
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass);
    }();
    if (atom == 0) {
        throw Exception("RegisterClassEx failed for the spectrum control");
    }
}

SpectrumWindow::SpectrumWindow(HWND parent, int x, int y, int id) {
    Renderer().OnDebugOutput = [](const std::string& line) { platform::DebugOutput(line); };
    RegisterClassOnce();
    // WM_NCCREATE stores the handle; the first WM_SIZE arrives before CreateWindowEx returns.
    const HWND window = ::CreateWindowExW(
        0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, kInitialWidth,
        kInitialHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        ::GetModuleHandleW(nullptr), this);
    if (window == nullptr) {
        throw Exception("The spectrum window could not be created (error " +
                        std::to_string(::GetLastError()) + ")");
    }
    StartTimer();
}

SpectrumWindow::~SpectrumWindow() {
    StopTimer();
    if (window_ != nullptr) {
        // Messages sent while the window goes no longer reach this object.
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(std::exchange(window_, nullptr));
    }
}

LRESULT CALLBACK SpectrumWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    // Exceptions never cross into the system's code.
    try {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            auto* self = static_cast<SpectrumWindow*>(create->lpCreateParams);
            self->window_ = window;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<SpectrumWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            return self->HandleMessage(message, wParam, lParam);
        }
    } catch (const std::exception& error) {
        ApplicationHandleException(error);
    } catch (...) {
        ApplicationHandleException(Exception("Unknown error in the spectrum control"));
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT SpectrumWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = window_;
    switch (message) {
        case WM_NCDESTROY:
            // The parent went first and took this window with it.
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            timerActive_ = false;
            break;
        case WM_ERASEBKGND:
            return 1;  // the picture covers everything
        case WM_PAINT:
            OnPaintMessage();
            return 0;
        case WM_SIZE:
            OnSize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_SHOWWINDOW:
            if (wParam != FALSE) {
                Invalidate();
            }
            break;
        case WM_TIMER:
            if (wParam == kRefreshTimerId) {
                // One already queued when the timer stopped draws nothing.
                if (timerActive_) {
                    TimerTick();
                }
                return 0;
            }
            break;
        case kPaintMessage:
            paintPosted_ = false;
            if (::IsWindowVisible(window) != FALSE) {
                Paint();
            }
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_LBUTTONDBLCLK:
            if (OnDblClick) {
                // A copy survives the handler replacing itself.
                const auto handler = OnDblClick;
                handler();
            }
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void SpectrumWindow::Invalidate() {
    paintPending_ = true;
    if (paintPosted_ || window_ == nullptr) {
        return;
    }
    paintPosted_ = ::PostMessageW(window_, kPaintMessage, 0, 0) != FALSE;
}

void SpectrumWindow::Paint() {
    if (drawingDepth_ > 0) {
        // Asked from inside a drawing pass (an OnRefresh handler); paint once it is over.
        Invalidate();
        return;
    }
    paintPending_ = false;
    RECT client{};
    if (window_ != nullptr) {
        ::GetClientRect(window_, &client);
    }
    if (canvas_.Width() != client.right || canvas_.Height() != client.bottom) {
        canvas_.Resize(client.right, client.bottom, Color());
    }
    DrawingPass pass(*this);
    Renderer().Paint(canvas_, Handler());
}

void SpectrumWindow::TimerTick() {
    DrawingPass pass(*this);
    Renderer().Tick(canvas_, Handler());
}

void SpectrumWindow::OnPaintMessage() {
    // A full paint still owed (the window was hidden when it was asked for) comes first.
    if (paintPending_ && drawingDepth_ == 0) {
        Paint();
    }
    const PaintSession session(window_);
    const RECT& area = session.Area();
    const Dib* picture = canvas_.Picture();
    RECT covered{};
    if (picture != nullptr) {
        const RECT whole{0, 0, picture->Width(), picture->Height()};
        ::IntersectRect(&covered, &area, &whole);
    }
    if (!::EqualRect(&covered, &area)) {
        const Brush brush(::CreateSolidBrush(ColorToColorRef(Color())));
        ::FillRect(session.Dc(), &area, brush.Get());
    }
    if (!IsEmpty(covered)) {
        ::BitBlt(session.Dc(), covered.left, covered.top, covered.right - covered.left,
                 covered.bottom - covered.top, picture->Dc(), covered.left, covered.top, SRCCOPY);
    }
}

void SpectrumWindow::OnSize(int width, int height) {
    if (drawingDepth_ == 0) {
        canvas_.Resize(width, height, Color());
        canvas_.TakeDirty();
    }
    Invalidate();
    ::InvalidateRect(window_, nullptr, FALSE);
}

void SpectrumWindow::OnMouseMove(int x, int y) {
    const auto reading = Renderer().ReadingAt(x, y, canvas_.Width(), canvas_.Height());
    if (!reading) {
        Renderer().SetReadout({}, {});
        return;
    }
    // The frequency follows the user's locale: "14.5 Hz", "14,5 Hz".
    Renderer().SetReadout(FormatDecimal(reading->Centre, UserDecimalSeparator()) + " Hz",
                          reading->Level);
}

bool SpectrumWindow::Enabled() const {
    return window_ != nullptr && ::IsWindowEnabled(window_) != FALSE;
}

void SpectrumWindow::SetEnabled(bool value) {
    if (window_ != nullptr) {
        ::EnableWindow(window_, value ? TRUE : FALSE);
    }
    if (!value) {
        StopTimer();
        DrawingPass pass(*this);
        Renderer().Clear(canvas_);
    } else if (!timerActive_) {
        StartTimer();
    }
}

void SpectrumWindow::SetShown(bool value) {
    if (window_ != nullptr) {
        ::ShowWindow(window_, value ? SW_SHOW : SW_HIDE);
    }
}

void SpectrumWindow::SetNotationFont(const GdiFontSpec& spec) {
    canvas_.SetNotationFont(spec);
    Invalidate();
}

void SpectrumWindow::SetSeperatorFont(const GdiFontSpec& spec) {
    canvas_.SetSeperatorFont(spec);
    Invalidate();
}

void SpectrumWindow::StartTimer() {
    if (window_ != nullptr) {
        timerActive_ = ::SetTimer(window_, kRefreshTimerId, kRefreshInterval, nullptr) != 0;
    }
}

void SpectrumWindow::StopTimer() {
    if (timerActive_ && window_ != nullptr) {
        ::KillTimer(window_, kRefreshTimerId);
    }
    timerActive_ = false;
}

}  // namespace spectrino::win32
