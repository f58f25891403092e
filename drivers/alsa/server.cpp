// The in-process server around the driver: the exported entry points.
#include <string>

#include "alsa_driver.h"
#include "common/driver_server.h"
#include "settings.h"

using spectrino::platform::HRESULT;

SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllGetClassObject(
    const spectrino::platform::CLSID& clsid, const spectrino::platform::IID& iid, void** object) {
    namespace pf = spectrino::platform;
    if (object == nullptr) {
        return pf::kE_POINTER;
    }
    *object = nullptr;
    if (clsid != spectrino::alsa::kClassId) {
        return pf::kCLASS_E_CLASSNOTAVAILABLE;
    }
    return spectrino::drivers::GetClassObject(
        spectrino::alsa::ServerReferences(),
        [] { return new (std::nothrow) spectrino::alsa::AlsaDriver(); }, iid, object);
}

SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllCanUnloadNow() {
    return spectrino::drivers::CanUnloadNow(spectrino::alsa::ServerReferences());
}

// Registers this file as the server of the class and lists it as an ASIO driver.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllRegisterServer() {
    return spectrino::drivers::RegisterDriverServer(
        reinterpret_cast<const void*>(&DllRegisterServer), spectrino::alsa::kClassId,
        spectrino::alsa::kDriverName);
}

// Removes what DllRegisterServer wrote.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllUnregisterServer() {
    return spectrino::drivers::UnregisterDriverServer(spectrino::alsa::kClassId,
                                                      spectrino::alsa::kDriverName);
}
