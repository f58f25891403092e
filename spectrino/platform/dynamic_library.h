// A loaded shared library (LoadLibrary / dlopen), unloaded when the object goes.
#pragma once

#include <memory>
#include <string>

namespace spectrino::platform {

class DynamicLibrary {
public:
    // Loads by path; a bare file name uses the platform's standard library search.
    // Returns null when the library cannot be loaded.
    static std::unique_ptr<DynamicLibrary> Open(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The exported symbol's address, or null when the library has no such export.
    void* Symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace spectrino::platform
