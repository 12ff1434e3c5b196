// Linked into a stand-in of the hardware library that, while it is being loaded, loads
// the test's dependency library by its name, as a maker's library may load a DLL of
// its own folder when it runs: where the process's own search looks for it.

#include <windows.h>

// The impostor lacks the export; refusing the load then shows which one was found.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    const HMODULE dependency = LoadLibraryA("vexa_test_dependency.dll");
    return dependency != nullptr && GetProcAddress(dependency, "vexaTestDependency") != nullptr;
}
