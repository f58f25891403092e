// wavein.h comes first: the Windows headers define many of its names as macros.
#include "wavein.h"

#if defined(_WIN32)
#include <windows.h>
// mmsystem.h needs the types of windows.h.
#include <mmsystem.h>

#include <cstddef>
#include <system_error>
#else
#include "platform/message_window.h"
#include "platform/wavein_pulse.h"
#endif

#include <utility>

namespace spectrino::platform {

#if defined(_WIN32)

// The declarations in wavein.h are laid out to be handed to winmm as they are.
static_assert(sizeof(WAVEFORMATEX) == sizeof(::WAVEFORMATEX));
static_assert(offsetof(WAVEFORMATEX, nChannels) == offsetof(::WAVEFORMATEX, nChannels));
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == offsetof(::WAVEFORMATEX, nSamplesPerSec));
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == offsetof(::WAVEFORMATEX, nAvgBytesPerSec));
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == offsetof(::WAVEFORMATEX, nBlockAlign));
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == offsetof(::WAVEFORMATEX, wBitsPerSample));
static_assert(offsetof(WAVEFORMATEX, cbSize) == offsetof(::WAVEFORMATEX, cbSize));
static_assert(sizeof(WAVEHDR) == sizeof(::WAVEHDR));
static_assert(offsetof(WAVEHDR, lpData) == offsetof(::WAVEHDR, lpData));
static_assert(offsetof(WAVEHDR, dwBufferLength) == offsetof(::WAVEHDR, dwBufferLength));
static_assert(offsetof(WAVEHDR, dwBytesRecorded) == offsetof(::WAVEHDR, dwBytesRecorded));
static_assert(offsetof(WAVEHDR, dwUser) == offsetof(::WAVEHDR, dwUser));
static_assert(offsetof(WAVEHDR, dwFlags) == offsetof(::WAVEHDR, dwFlags));
static_assert(offsetof(WAVEHDR, dwLoops) == offsetof(::WAVEHDR, dwLoops));
static_assert(offsetof(WAVEHDR, lpNext) == offsetof(::WAVEHDR, lpNext));
static_assert(offsetof(WAVEHDR, reserved) == offsetof(::WAVEHDR, reserved));

// A message-only window; winmm posts its notifications to it and Post() adds our own.
class WaveInWindow::Impl {
public:
    explicit Impl(WndProc proc) : proc_(std::move(proc)) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = &Impl::WindowProc;
        window_class.hInstance = instance;
        window_class.lpszClassName = kClassName;
        if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "RegisterClassEx");
        }
        window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, this);
        if (window_ == nullptr) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "CreateWindowEx");
        }
    }
    // Messages still queued for a destroyed window are discarded with it.
    ~Impl() { DestroyWindow(window_); }

    void Post(uint32_t message, uintptr_t wParam, WAVEHDR* lParam) {
        PostMessageW(window_, message, static_cast<WPARAM>(wParam),
                     reinterpret_cast<LPARAM>(lParam));
    }
    void* Handle() const { return window_; }

private:
    static constexpr const wchar_t* kClassName = L"SpectrinoWaveInWindow";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr &&
            (message == MM_WIM_OPEN || message == MM_WIM_CLOSE || message == MM_WIM_DATA)) {
            self->proc_(message, static_cast<uintptr_t>(wParam),
                        reinterpret_cast<WAVEHDR*>(lParam));
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    WndProc proc_;
    HWND window_ = nullptr;
};

#else

// A message window of the constructing thread stands in for the window: each message
// travels as a closure, in the order posted.
class WaveInWindow::Impl {
public:
    explicit Impl(WndProc proc) : proc_(std::move(proc)) {}

    void Post(uint32_t message, uintptr_t wParam, WAVEHDR* lParam) {
        window_.Post([this, message, wParam, lParam] { proc_(message, wParam, lParam); });
    }
    void* Handle() const { return window_.Handle(); }

private:
    WndProc proc_;
    // Declared last so that it goes first, with the messages still queued.
    MessageWindow window_;
};

#endif

WaveInWindow::WaveInWindow(WndProc proc) : impl_(std::make_unique<Impl>(std::move(proc))) {}

WaveInWindow::~WaveInWindow() = default;

void WaveInWindow::Post(uint32_t message, uintptr_t wParam, WAVEHDR* lParam) {
    impl_->Post(message, wParam, lParam);
}

void* WaveInWindow::Handle() const {
    return impl_->Handle();
}

#if defined(_WIN32)

namespace {

#undef waveInGetDevCaps
#undef WAVEINCAPS

::HWAVEIN Native(HWAVEIN handle) {
    return reinterpret_cast<::HWAVEIN>(handle);
}

::WAVEHDR* Native(WAVEHDR* header) {
    return reinterpret_cast<::WAVEHDR*>(header);
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

class WinmmWaveIn final : public WaveInService {
public:
    uint32_t waveInGetNumDevs() override { return ::waveInGetNumDevs(); }
    MMRESULT waveInGetDevCaps(uint32_t id, WAVEINCAPS& caps) override {
        WAVEINCAPSW native{};
        const MMRESULT result = ::waveInGetDevCapsW(id, &native, sizeof native);
        if (result == MMSYSERR_NOERROR) {
            // szPname holds at most 31 characters and a terminating zero.
            native.szPname[MAXPNAMELEN - 1] = L'\0';
            caps.szPname = Utf8(native.szPname);
        }
        return result;
    }
    MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                        WaveInWindow& window, uintptr_t instance, uint32_t flags) override {
        ::HWAVEIN native = nullptr;
        const MMRESULT result = ::waveInOpen(
            &native, static_cast<UINT>(id), reinterpret_cast<const ::WAVEFORMATEX*>(&format),
            reinterpret_cast<DWORD_PTR>(window.Handle()), instance, flags);
        handle = result == MMSYSERR_NOERROR ? reinterpret_cast<HWAVEIN>(native) : 0;
        return result;
    }
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        return ::waveInPrepareHeader(Native(handle), Native(header), sizeof(::WAVEHDR));
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header) override {
        return ::waveInUnprepareHeader(Native(handle), Native(header), sizeof(::WAVEHDR));
    }
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header) override {
        return ::waveInAddBuffer(Native(handle), Native(header), sizeof(::WAVEHDR));
    }
    MMRESULT waveInStart(HWAVEIN handle) override { return ::waveInStart(Native(handle)); }
    MMRESULT waveInStop(HWAVEIN handle) override { return ::waveInStop(Native(handle)); }
    MMRESULT waveInReset(HWAVEIN handle) override { return ::waveInReset(Native(handle)); }
    MMRESULT waveInClose(HWAVEIN handle) override { return ::waveInClose(Native(handle)); }
};

}  // namespace

WaveInService& SystemWaveIn() {
    static WinmmWaveIn service;
    return service;
}

#else

WaveInService& SystemWaveIn() {
    static const std::unique_ptr<WaveInService> service = MakePulseWaveIn();
    return *service;
}

#endif

}  // namespace spectrino::platform
