// The in-process server around the driver: the exported entry points.
#include <optional>
#include <string>

#include "common/driver_server.h"
#include "settings.h"
#include "testsignal_driver.h"

using spectrino::platform::HRESULT;

// Serves the registered class, and any further class id that has a settings subkey of its own
// (so one file can stand in for several differently set up drivers).
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllGetClassObject(
    const spectrino::platform::CLSID& clsid, const spectrino::platform::IID& iid, void** object) {
    namespace ts = spectrino::testsignal;
    namespace pf = spectrino::platform;
    if (object == nullptr) {
        return pf::kE_POINTER;
    }
    *object = nullptr;
    const auto key = ts::SettingsKeyFor(clsid);
    if (!key) {
        return pf::kCLASS_E_CLASSNOTAVAILABLE;
    }
    return spectrino::drivers::GetClassObject(
        ts::ServerReferences(),
        [clsid, settingsKey = *key] {
            return new (std::nothrow) ts::TestSignalDriver(clsid, settingsKey);
        },
        iid, object);
}

SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllCanUnloadNow() {
    return spectrino::drivers::CanUnloadNow(spectrino::testsignal::ServerReferences());
}

// Registers this file as the server of the class and lists it as an ASIO driver.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllRegisterServer() {
    return spectrino::drivers::RegisterDriverServer(
        reinterpret_cast<const void*>(&DllRegisterServer), spectrino::testsignal::kClassId,
        spectrino::testsignal::kDriverName);
}

// Removes what DllRegisterServer wrote.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllUnregisterServer() {
    return spectrino::drivers::UnregisterDriverServer(spectrino::testsignal::kClassId,
                                                      spectrino::testsignal::kDriverName);
}
