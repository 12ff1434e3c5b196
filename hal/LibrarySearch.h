#pragma once
// Where the system looks for the libraries that the tool and its libraries load.

#include <string>

namespace vexa::templates::platform {

// Takes the current directory out of Windows' search for DLLs, so that no DLL of the
// folder the tool was started from is loaded in place of a library's own import. Where
// Windows can name the folders it searches, every later load searches only the tool's
// folder, the system folder and the folders loadLibraryWithItsImports adds; elsewhere
// PATH stays searched too. Call it early in main, before any library is loaded.
// Nothing to do elsewhere: the dynamic loader never searches the current directory.
void excludeCurrentDirectoryFromLibrarySearch();

#ifdef _WIN32
// Loads the DLL `file` (an HMODULE, null on failure with GetLastError set) so that the
// DLLs it imports come from its own folder first, then the tool's folder and the
// system folder, never from the current directory or PATH. Its folder is added to the
// process's search, so a DLL it loads itself later by name is found there as well. A
// relative `file` is taken from the current directory. On a Windows 7 without the
// loader update that can name the folders, the older search is used, with the library's
// folder first and PATH last, and the trace says so.
void* loadLibraryWithItsImports(const std::string& file);
#endif

} // namespace vexa::templates::platform
