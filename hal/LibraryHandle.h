#pragma once
// Owns one loaded dynamic library and remembers why a load failed. On Linux the file
// is loaded only once the checks of hal/LibraryFile.h have passed.

#include <cstdint>
#include <string>

namespace vexa::hal {

class LibraryHandle {
public:
    LibraryHandle(std::string fileName, bool releaseOnDestroy, bool loadNow);
    ~LibraryHandle();
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;

    bool isLoaded() const { return module != nullptr; }
    // Whether both hold the same loaded library (the system counts it loaded twice).
    bool holdsSameLibrary(const LibraryHandle& other) const { return module != nullptr && module == other.module; }
    // Address of an exported name, or null (also when nothing is loaded).
    void* symbol(const char* name) const;

    // Why the last load failed, for the loader's trace: the system's error code (1 on
    // Linux, which has none) and its text, or the tool's own reason for refusing the file.
    std::uint32_t lastError() const { return error; }
    const std::string& errorText() const { return text; }

private:
    void load();

    void* module = nullptr; // HMODULE on Windows, the dlopen handle elsewhere
    int origin = -1;        // Linux: the folder descriptor the loaded library's $ORIGIN names
    bool releaseOnDestroy;
    std::string file;
    std::uint32_t error = 0;
    std::string text;
};

// The typed lookup behind each entry-point slot: null for a library that is not
// loaded or lacks the name.
template <typename Function>
Function lookupEntryPoint(const LibraryHandle& library, const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
}

} // namespace vexa::hal
