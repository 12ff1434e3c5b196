#include "LibraryHandle.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vexa::hal {

LibraryHandle::LibraryHandle(std::string fileName, bool releaseOnDestroy_, bool loadNow)
    : releaseOnDestroy(releaseOnDestroy_), file(std::move(fileName)) {
    if (loadNow && module == nullptr) {
        load();
    }
}

#ifdef _WIN32

void LibraryHandle::load() {
    module = reinterpret_cast<void*>(LoadLibraryA(file.c_str()));
    if (module != nullptr) {
        error = 0;
        text.clear();
        return;
    }
    error = GetLastError();
    text.clear();
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (message != nullptr) {
        text.assign(message, length);
        LocalFree(message);
    }
}

void* LibraryHandle::symbol(const char* name) const {
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

LibraryHandle::~LibraryHandle() {
    if (releaseOnDestroy && module != nullptr && FreeLibrary(static_cast<HMODULE>(module))) {
        module = nullptr;
    }
}

#else

void LibraryHandle::load() {
    // A full path only: no library search path is consulted.
    module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) {
        error = 0;
        text.clear();
        return;
    }
    const char* message = dlerror();
    error = 1; // dlopen has no numeric code; the text says what went wrong
    text = message != nullptr ? message : "";
}

void* LibraryHandle::symbol(const char* name) const {
    if (module == nullptr) {
        return nullptr;
    }
    return dlsym(module, name);
}

LibraryHandle::~LibraryHandle() {
    if (releaseOnDestroy && module != nullptr && dlclose(module) == 0) {
        module = nullptr;
    }
}

#endif

} // namespace vexa::hal
