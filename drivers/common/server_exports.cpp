// The entry points of an in-process driver server, the same in every driver file.
#include "common/driver_base.h"
#include "common/driver_server.h"

using spectrino::platform::HRESULT;

SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllGetClassObject(
    const spectrino::platform::CLSID& clsid, const spectrino::platform::IID& iid, void** object) {
    namespace pf = spectrino::platform;
    namespace dr = spectrino::drivers;
    if (object == nullptr) {
        return pf::kE_POINTER;
    }
    *object = nullptr;
    if (!dr::ServesClass(clsid)) {
        return pf::kCLASS_E_CLASSNOTAVAILABLE;
    }
    return dr::GetClassObject(
        dr::ServerReferences(), [clsid] { return dr::MakeDriver(clsid); }, iid, object);
}

SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllCanUnloadNow() {
    return spectrino::drivers::CanUnloadNow(spectrino::drivers::ServerReferences());
}

// Registers this file as the server of the class and lists it as an ASIO driver.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllRegisterServer() {
    const auto& driver = spectrino::drivers::ThisDriver();
    return spectrino::drivers::RegisterDriverServer(
        reinterpret_cast<const void*>(&DllRegisterServer), driver.classId, driver.name);
}

// Removes what DllRegisterServer wrote.
SPECTRINO_DRIVER_EXPORT HRESULT SPECTRINO_COMCALL DllUnregisterServer() {
    const auto& driver = spectrino::drivers::ThisDriver();
    return spectrino::drivers::UnregisterDriverServer(driver.classId, driver.name);
}
