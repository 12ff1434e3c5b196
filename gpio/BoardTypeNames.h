#pragma once

#include <cstdint>

namespace vexa {

// Display name of a board-type code; "unknown board" for codes without one,
// library error codes included. Never fails.
const char* boardTypeName(std::int32_t boardType);

} // namespace vexa
