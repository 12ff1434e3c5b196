#pragma once
// The checks a library file passes on Linux before the system loader sees it: reached
// only through entries the tool trusts, a regular file, built for this machine, and
// whole. Judged first, through descriptors that read nothing, and only then opened for
// reading, so that a device or a FIFO in its place never sees an open.

#ifndef _WIN32

#include "TrustedPath.h"

#include <string>

namespace vexa::hal {

struct CheckedLibrary {
    Descriptor nameFolder; // the folder of the name it was asked by, which the loader's $ORIGIN is
    std::string name;      // that name's last component
    Descriptor file;       // the file, open for reading, once every check passed
    std::string refusal;   // why not, in the words dlerror would use; empty when it passed
    bool distrusted = false; // refused because someone the tool does not trust may have planted or changed it
};

CheckedLibrary checkLibrary(const std::string& file);

} // namespace vexa::hal

#endif
