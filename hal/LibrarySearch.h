#pragma once
// Where the system looks for the libraries that the tool and its libraries load.

namespace vexa::templates::platform {

// Takes the current directory out of Windows' search for DLLs, so that no DLL of the
// folder the tool was started from is loaded in place of a library's own import.
// The tool's folder, the system folders and PATH stay searched. Call it early in main,
// before any library is loaded. Nothing to do elsewhere: the dynamic loader never
// searches the current directory.
void excludeCurrentDirectoryFromLibrarySearch();

} // namespace vexa::templates::platform
