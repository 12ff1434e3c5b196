#include "HalEntryPoints.h"

#include "InstallationDirectory.h"
#include "LibraryHandle.h"

#include <cstdio>
#include <memory>

namespace vexa::hal {

namespace {

// One slot per entry point; null means unavailable. The table counts as bound
// once the VHalInitDevice slot is filled.
struct HalEntryPoints {
#define VEXA_HAL_SLOT(result, name, params, args, failure) result(*name) params = nullptr;
    VEXA_HAL_ENTRY_POINTS(VEXA_HAL_SLOT)
#undef VEXA_HAL_SLOT
};

HalEntryPoints slots;
std::uint32_t attempts = 0;

#ifdef _WIN32
constexpr const char* kLibraryPathFormat = "%s\\bin\\%s.dll";
#else
constexpr const char* kLibraryPathFormat = "%s/bin/lib%s.so";
#endif
constexpr const char* kLibraryBaseName = "vexa_hal";

} // namespace

bool formatHalLibraryPath(char* buffer, std::uint32_t size, const char* directory) {
    const int length = std::snprintf(buffer, size, kLibraryPathFormat, directory, kLibraryBaseName);
    return length >= 0 && static_cast<std::uint32_t>(length) < size;
}

std::int32_t loadHalLibrary() {
    const char* directory = getInstallationDirectory();
    if (directory == nullptr) {
        return kHalUnavailable;
    }
    char path[kDirectoryBufferSize];
    if (!formatHalLibraryPath(path, sizeof path, directory)) {
        return kHalUnavailable; // a directory too long for the path buffer
    }
    ++attempts;
    // Never released: the slots stay valid until the process ends.
    const auto library = std::make_unique<LibraryHandle>(path, false, true);
    if (!library->isLoaded()) {
        return kHalUnavailable;
    }
#define VEXA_HAL_RESOLVE(result, name, params, args, failure) \
    slots.name = lookupEntryPoint<result(*) params>(*library, #name);
    VEXA_HAL_ENTRY_POINTS(VEXA_HAL_RESOLVE)
#undef VEXA_HAL_RESOLVE
    return 0;
}

#define VEXA_HAL_DEFINE_WRAPPER(result, name, params, args, failure) \
    result name params {                                              \
        if (slots.VHalInitDevice == nullptr) {                        \
            loadHalLibrary();                                         \
        }                                                             \
        if (slots.name == nullptr) {                                  \
            return failure;                                           \
        }                                                             \
        return slots.name args;                                       \
    }
VEXA_HAL_ENTRY_POINTS(VEXA_HAL_DEFINE_WRAPPER)
#undef VEXA_HAL_DEFINE_WRAPPER

namespace detail {
std::uint32_t loadAttempts() {
    return attempts;
}
} // namespace detail

} // namespace vexa::hal
