#pragma once
// vexa-sim show: the simulated machine as text for people, or as JSON for scripts.

#include "ChipCommands.h"

namespace vexa::sim {

// show [--json] [<board>]: every board, or the one named. The exit status; throws UsageError.
int showMachine(const CommandRun& run);

} // namespace vexa::sim
