#include "LibrarySearch.h"

#ifdef _WIN32
#include "LoaderTrace.h"

#include <windows.h>

#include <vector>
#endif

namespace vexa::templates::platform {

#ifdef _WIN32

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using AddDllDirectoryFn = DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR);

// The search that names its folders (the LOAD_LIBRARY_SEARCH_* flags) came with
// Windows 8 and with an update of Windows 7. Its functions are looked up, not imported,
// so that the tool still starts on a Windows 7 without that update. Wine has them, and
// unlike SetDllDirectoryA("") they keep the current directory out there too.
struct NamedFolderSearch {
    SetDefaultDllDirectoriesFn setDefault = nullptr;
    AddDllDirectoryFn addFolder = nullptr;
};

template <typename Function>
Function kernelFunction(const char* name) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                             : nullptr;
}

// Null functions where the system lacks either.
const NamedFolderSearch& namedFolderSearch() {
    static const NamedFolderSearch search = [] {
        NamedFolderSearch found{kernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories"),
                                kernelFunction<AddDllDirectoryFn>("AddDllDirectory")};
        return found.setDefault != nullptr && found.addFolder != nullptr ? found : NamedFolderSearch{};
    }();
    return search;
}

// The path made absolute, as the current directory gives it; the path as it is when
// that fails. The named-folder search loads no library by a relative path.
std::string fullPath(const std::string& file) {
    const DWORD length = GetFullPathNameA(file.c_str(), 0, nullptr, nullptr);
    std::string full(length, '\0');
    if (length == 0 || GetFullPathNameA(file.c_str(), length, full.data(), nullptr) != length - 1) {
        return file;
    }
    full.resize(length - 1);
    return full;
}

std::wstring wide(const std::string& text) {
    // The code page the A functions use, so the folder is the one LoadLibraryExA opens.
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> buffer(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer.data(), length);
    return buffer.data();
}

// A maker's library may load DLLs of its own folder by name when it runs; with PATH
// out of the search, its folder must be in it. Added once: the loader tries the same
// file on every call until it loads.
void addToSearch(const NamedFolderSearch& search, const std::string& file) {
    static std::string added;
    const std::string folder = file.substr(0, file.find_last_of("\\/"));
    if (folder != added && search.addFolder(wide(folder).c_str()) != nullptr) {
        added = folder;
    }
}

} // namespace

void excludeCurrentDirectoryFromLibrarySearch() {
    const NamedFolderSearch& search = namedFolderSearch();
    if (search.setDefault == nullptr || !search.setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {
        // An empty folder removes the current directory and adds none.
        SetDllDirectoryA("");
    }
}

void* loadLibraryWithItsImports(const std::string& file) {
    const NamedFolderSearch& search = namedFolderSearch();
    if (search.addFolder == nullptr) {
        if (hal::trace::on()) {
            hal::trace::step({"dll search: the library's folder, the system folders, then PATH (this Windows "
                              "cannot leave PATH out: a Windows 7 without update KB2533623)"});
        }
        return reinterpret_cast<void*>(LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    const std::string full = fullPath(file);
    addToSearch(search, full);
    return reinterpret_cast<void*>(
        LoadLibraryExA(full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
}

#else

void excludeCurrentDirectoryFromLibrarySearch() {}

#endif

} // namespace vexa::templates::platform
