// What this file serves: one class, the ALSA driver.
#include <new>

#include "alsa_driver.h"
#include "common/driver_server.h"
#include "settings.h"

namespace spectrino::drivers {

const RegisteredDriver& ThisDriver() {
    static const RegisteredDriver driver{alsa::kClassId, alsa::kDriverName};
    return driver;
}

bool ServesClass(const platform::CLSID& clsid) {
    return clsid == alsa::kClassId;
}

IASIO* MakeDriver(const platform::CLSID& /*clsid*/) {
    return new (std::nothrow) alsa::AlsaDriver();
}

}  // namespace spectrino::drivers
