#pragma once
// Where the board software is installed: found once per process from the tool's own
// location, else from VEXADIR5_64 or VEXADIR5.

namespace vexa::hal {

// The directory without a trailing separator, or null when no source gives one.
// The pointer stays valid and unchanged for the rest of the process. Thread-safe.
const char* getInstallationDirectory();

} // namespace vexa::hal
