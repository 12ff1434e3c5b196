#include "StandardDescriptors.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vexa::templates::platform {

void reserveStandardDescriptors() {
#ifndef _WIN32
    // Standard output read-only: see the header. Standard error writes into the void.
    constexpr int kModes[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1) {
            // open() takes the lowest free number, which is this one: the lower ones are open.
            open("/dev/null", kModes[descriptor]);
        }
    }
#endif
}

} // namespace vexa::templates::platform
