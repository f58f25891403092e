#include "utonebank.h"

#include <memory>
#include <string>

#include "filterbank/latency_probe.h"
#include "framework/exception.h"
#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"

namespace spectrino {
namespace {

using platform::DebugOutput;

// The unit's state: the loaded library and its seven entry points.
struct FilterBankLibrary {
    std::unique_ptr<platform::DynamicLibrary> library;
    goertzel_create_fn create = nullptr;
    goertzel_destroy_fn destroy = nullptr;
    goertzel_addbin_fn addbin = nullptr;
    goertzel_getresult_fn getresult = nullptr;
    goertzel_addsamples_fn addsamples = nullptr;
    goertzel_flush_fn flush = nullptr;
    goertzel_setwindowing_fn setwindowing = nullptr;
};

FilterBankLibrary& Lib() {
    static FilterBankLibrary lib;
    return lib;
}

template <typename Fn>
Fn Resolve(const platform::DynamicLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.Symbol(name));
}

std::unique_ptr<platform::DynamicLibrary> OpenFromProgramDirectory() {
    std::string dir = platform::ProgramFilePath();
    if (dir.empty()) {
        dir = platform::CurrentDirectory();
    } else {
        const auto cut = dir.find_last_of(platform::kPathDelimiter);
        dir.erase(cut == std::string::npos ? 0 : cut + 1);
    }
    if (dir.empty() || dir.back() != platform::kPathDelimiter) {
        dir += platform::kPathDelimiter;
    }
    if (dir.size() < 2) {
        return nullptr;
    }
    const std::string path = dir + kToneBankFileName;
    DebugOutput("trying.... " + path);
    return platform::DynamicLibrary::Open(path);
}

}  // namespace

void LoadFilterBankLibrary() {
    FilterBankLibrary& lib = Lib();
    if (lib.library) {
        return;
    }
    DebugOutput(std::string("trying.... ") + kToneBankFileName);
    auto library = platform::DynamicLibrary::Open(kToneBankFileName);
    if (!library) {
        library = OpenFromProgramDirectory();
    }
    if (!library) {
        return;
    }
    lib.create = Resolve<goertzel_create_fn>(*library, "goertzel_create");
    lib.destroy = Resolve<goertzel_destroy_fn>(*library, "goertzel_destroy");
    lib.addbin = Resolve<goertzel_addbin_fn>(*library, "goertzel_addbin");
    lib.getresult = Resolve<goertzel_getresult_fn>(*library, "goertzel_getresult");
    lib.addsamples = Resolve<goertzel_addsamples_fn>(*library, "goertzel_addsamples");
    lib.flush = Resolve<goertzel_flush_fn>(*library, "goertzel_flush");
    lib.setwindowing = Resolve<goertzel_setwindowing_fn>(*library, "goertzel_setwindowing");
    lib.library = std::move(library);
}

void UnloadFilterBankLibrary() {
    Lib() = FilterBankLibrary{};
}

bool FilterBankLibraryLoaded() {
    return Lib().library != nullptr;
}

TGoertzel::TGoertzel(int32_t sample_rate) {
    LoadFilterBankLibrary();
    const FilterBankLibrary& lib = Lib();
    if (!lib.library) {
        throw Exception(std::string(kToneBankFileName) + " not found!");
    }
    // A bank that could not be released must not be made either.
    if (lib.create != nullptr && lib.destroy != nullptr && sample_rate > 0) {
        FHandle = lib.create(static_cast<uint32_t>(sample_rate));
    }
    if (FHandle == nullptr) {
        throw Exception("Goertzel could not be created");
    }
}

TGoertzel::~TGoertzel() {
    if (FHandle != nullptr) {
        Lib().destroy(FHandle);
    }
}

int32_t TGoertzel::AddBin(double centre, double width) {
    const auto addbin = Lib().addbin;
    if (FHandle == nullptr || addbin == nullptr) {
        return -1;
    }
    return addbin(FHandle, centre, width);
}

void TGoertzel::AddSamples(const float* samples, int32_t count) {
    const auto addsamples = Lib().addsamples;
    if (FHandle == nullptr || addsamples == nullptr || count <= 0) {
        return;
    }
    latency_probe::SamplesArrived(samples, count);
    try {
        addsamples(FHandle, samples, static_cast<uint32_t>(count));
    } catch (const Exception& e) {
        DebugOutput("addsamples: " + e.Message());
    }
}

double TGoertzel::GetResult(int32_t index) {
    const auto getresult = Lib().getresult;
    if (FHandle == nullptr || getresult == nullptr || index < 0) {
        return 0.0;
    }
    try {
        return getresult(FHandle, static_cast<uint32_t>(index));
    } catch (const Exception& e) {
        DebugOutput("getresult: " + e.Message() + " ----- " + std::to_string(index));
        return 0.0;
    }
}

void TGoertzel::Flush() {
    if (FHandle != nullptr && Lib().flush != nullptr) {
        Lib().flush(FHandle);
    }
}

void TGoertzel::SetWindowing(int32_t window_type) {
    if (FHandle != nullptr && Lib().setwindowing != nullptr) {
        Lib().setwindowing(FHandle, window_type);
    }
}

}  // namespace spectrino
