// What this file serves: the registered class, and any further class id that has a settings
// subkey of its own (so one file can stand in for several differently set up drivers).
#include <new>

#include "common/driver_server.h"
#include "settings.h"
#include "testsignal_driver.h"

namespace spectrino::drivers {

const RegisteredDriver& ThisDriver() {
    static const RegisteredDriver driver{testsignal::kClassId, testsignal::kDriverName};
    return driver;
}

bool ServesClass(const platform::CLSID& clsid) {
    return testsignal::SettingsKeyFor(clsid).has_value();
}

IASIO* MakeDriver(const platform::CLSID& clsid) {
    const auto key = testsignal::SettingsKeyFor(clsid);
    return key ? new (std::nothrow) testsignal::TestSignalDriver(clsid, *key) : nullptr;
}

}  // namespace spectrino::drivers
