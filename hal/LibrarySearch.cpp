#include "LibrarySearch.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vexa::templates::platform {

void excludeCurrentDirectoryFromLibrarySearch() {
#ifdef _WIN32
    // An empty folder removes the current directory and adds none.
    SetDllDirectoryA("");
#endif
}

} // namespace vexa::templates::platform
