// What this file serves: one class, the JACK driver.
#include <new>

#include "common/driver_server.h"
#include "jack_driver.h"
#include "settings.h"

namespace spectrino::drivers {

const RegisteredDriver& ThisDriver() {
    static const RegisteredDriver driver{jack::kClassId, jack::kDriverName};
    return driver;
}

bool ServesClass(const platform::CLSID& clsid) {
    return clsid == jack::kClassId;
}

IASIO* MakeDriver(const platform::CLSID& /*clsid*/) {
    return new (std::nothrow) jack::JackDriver();
}

}  // namespace spectrino::drivers
