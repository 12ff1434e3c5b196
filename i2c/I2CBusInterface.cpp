#include "I2CBusInterface.h"

namespace vexa {

bool I2CBusInterface::isAvailable() {
    std::uint8_t scratch = 0;
    try {
        read(0x00, &scratch, 1);
        return true;
    } catch (...) {
        // Whatever went wrong, the device is not there for us.
        return false;
    }
}

} // namespace vexa
