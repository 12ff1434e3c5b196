#pragma once
// The standard descriptors 0, 1 and 2 as the process finds them at start.

namespace vexa::templates::platform {

// Opens each of descriptors 0, 1 and 2 that is closed on the null device, so that no
// file a library opens later can take its number and receive what the tool prints.
// A closed standard output gets the null device opened for reading only: writing to
// it fails, so a run without a standard output ends as one whose output is lost.
// Call it first in main. Nothing to do on Windows, whose handles have no such numbers.
void reserveStandardDescriptors();

} // namespace vexa::templates::platform
