#include "HalEntryPoints.h"

#include "InstallationDirectory.h"
#include "LibraryHandle.h"
#include "LoaderTrace.h"
#include "Platform.h"
#include "detail/HalEntryPoints.h"
#include "detail/InstallationDirectory.h"

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace vexa::hal {

namespace {

// One slot per entry point; null means unavailable. The table counts as bound
// once the VHalInitDevice slot is filled.
struct HalEntryPoints {
#define VEXA_HAL_SLOT(name) name##Fn name = nullptr;
    VEXA_HAL_ENTRY_POINTS(VEXA_HAL_SLOT)
#undef VEXA_HAL_SLOT
};

HalEntryPoints slots;
std::uint32_t attempts = 0;
// The library the slots point into. Never released while they may be called: it stays
// loaded until the process ends, and is replaced only by a later load of another file
// while the table is unbound.
LibraryHandle* boundLibrary = nullptr;

constexpr const char* kLibraryBaseName = "vexa_hal";

// The wrapper of the entry point in `slot`: it has the entry point's type, loads the
// library while the table is unbound and gives the failure value for an empty slot.
template <typename Pointer, Pointer HalEntryPoints::*slot>
struct Wrapper;

template <typename Result, typename... Parameters, Result (*HalEntryPoints::*slot)(Parameters...)>
struct Wrapper<Result (*)(Parameters...), slot> {
    static Result call(Parameters... arguments) {
        if (slots.VHalInitDevice == nullptr) {
            loadHalLibrary();
        }
        const auto entryPoint = slots.*slot;
        if (entryPoint == nullptr) {
            if constexpr (std::is_pointer_v<Result>) {
                return nullptr;
            } else {
                return kHalUnavailable;
            }
        }
        return entryPoint(arguments...);
    }
};

} // namespace

namespace detail {

// Copied piece by piece: a formatted print would cost more than the rest of the loading.
bool formatHalLibraryPath(char* buffer, std::uint32_t size, const char* directory) {
    const char separator[] = {kPathSeparator, '\0'};
    std::size_t used = 0;
    for (const char* piece :
         {directory, separator, "bin", separator, kSharedLibraryPrefix, kLibraryBaseName, kSharedLibrarySuffix}) {
        const std::size_t length = std::strlen(piece);
        if (length >= size - used) {
            return false;
        }
        std::memcpy(buffer + used, piece, length);
        used += length;
    }
    buffer[used] = '\0';
    return true;
}

std::uint32_t loadAttempts() {
    return attempts;
}

} // namespace detail

std::int32_t loadHalLibrary() {
    // Traced on every run: while the table is unbound, every wrapper call is a new attempt.
    const bool traced = trace::on();
    const char* directory = getInstallationDirectory();
    if (traced) {
        trace::step({"directory ", directory != nullptr ? directory : "none"});
    }
    if (directory == nullptr) {
        return kHalUnavailable;
    }
    char path[kDirectoryBufferSize];
    if (!detail::formatHalLibraryPath(path, sizeof path, directory)) {
        if (traced) {
            trace::step({"library does not fit in ", std::to_string(sizeof path - 1), " bytes"});
        }
        return kHalUnavailable; // a directory too long for the path buffer
    }
    if (traced) {
        trace::step({"library ", path});
    }
    ++attempts;
    // Released unless it is kept for the slots: a load that fails, or that finds the
    // library bound already, gives back its descriptor and its reference at once.
    auto library = std::make_unique<LibraryHandle>(path, true, true);
    if (traced) {
        trace::loadOutcome(*library);
    }
    if (!library->isLoaded()) {
        return kHalUnavailable;
    }
    if (boundLibrary == nullptr || !boundLibrary->holdsSameLibrary(*library)) {
        delete boundLibrary;
        boundLibrary = library.release();
    }
#define VEXA_HAL_RESOLVE(name)                                                                                         \
    slots.name = lookupEntryPoint<name##Fn>(*boundLibrary, #name);                                                     \
    if (traced) {                                                                                                      \
        trace::step({"entry " #name, slots.name != nullptr ? " found" : " missing"});                                  \
    }
    VEXA_HAL_ENTRY_POINTS(VEXA_HAL_RESOLVE)
#undef VEXA_HAL_RESOLVE
    return 0;
}

#define VEXA_HAL_DEFINE_WRAPPER(name) const name##Fn name = &Wrapper<name##Fn, &HalEntryPoints::name>::call;
VEXA_HAL_ENTRY_POINTS(VEXA_HAL_DEFINE_WRAPPER)
#undef VEXA_HAL_DEFINE_WRAPPER

} // namespace vexa::hal
