#include "LibraryHandle.h"

#include <utility>

#ifdef _WIN32
#include "LibrarySearch.h"

#include <windows.h>
#else
#include "LibraryFile.h"
#include "LineOutput.h"
#include "TextEscape.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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
    // A maker's library that needs another DLL of its bin folder loads wherever the tool
    // was started from, and never with a DLL of the current directory.
    module = templates::platform::loadLibraryWithItsImports(file);
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

namespace {

// A library that the tool will not load (another user may have planted it, or it
// cannot be loaded safely) is named on standard error, once per run however often the
// loader tries again.
void reportRefusal(const std::string& reason) {
    static bool reported = false;
    if (!reported) {
        reported = true;
        printErrorLine(stderr, {"vexa-gpio: ", escaped(reason)});
    }
}

// The path of a descriptor, or of a name in the folder it holds, for the system loader.
std::string byDescriptor(int fd, const std::string& name = {}) {
    std::string path = "/proc/self/fd/";
    path += std::to_string(fd);
    if (!name.empty()) {
        path += '/';
        path += name;
    }
    return path;
}

// Whether /proc shows this process's descriptors, which loading by them needs.
bool descriptorsShown(int fd) {
    struct stat shown {};
    struct stat held {};
    return stat(byDescriptor(fd).c_str(), &shown) == 0 && fstat(fd, &held) == 0 && shown.st_dev == held.st_dev &&
           shown.st_ino == held.st_ino;
}

} // namespace

void LibraryHandle::load() {
    CheckedLibrary checked = checkLibrary(file);
    error = 1; // dlopen has no numeric code; the text says what went wrong
    if (!checked.refusal.empty()) {
        text = std::move(checked.refusal);
        if (checked.distrusted) {
            reportRefusal(text);
        }
        return;
    }
    if (!descriptorsShown(checked.nameFolder.get())) {
        text = "not loading " + file + ": loading it safely needs /proc mounted";
        reportRefusal(text);
        return;
    }
    // By its name in the folder it was asked in, which the descriptor holds: the
    // library's $ORIGIN is that folder, as for a plain dlopen of the name, so it finds
    // the libraries it brings beside that name. Every folder and link from there to the
    // file was judged, so only those the tool trusts could swap anything in; and what
    // was loaded is then compared with the file checked, by the system loader's own
    // test for a library it holds already.
    const std::string byName = byDescriptor(checked.nameFolder.get(), checked.name);
    module = dlopen(byName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* message = dlerror();
        text = message != nullptr ? message : "";
        for (std::size_t at = text.find(byName); at != std::string::npos; at = text.find(byName, at)) {
            text.replace(at, byName.size(), file);
            at += file.size();
        }
        return;
    }
    void* checkedModule = dlopen(byDescriptor(checked.file.get()).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (checkedModule != nullptr) {
        dlclose(checkedModule);
    }
    if (checkedModule != module) {
        dlclose(module);
        module = nullptr;
        text = file + ": the file changed while it was checked";
        return;
    }
    // $ORIGIN names the folder by this descriptor, for as long as the library is loaded.
    origin = checked.nameFolder.release();
    error = 0;
    text.clear();
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
        close(origin);
    }
}

#endif

} // namespace vexa::hal
