#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// atoi's reading of a number (leading white space, optional sign, the decimal digits
// up to the first non-digit; no digits give 0), saturating at the int32 limits
// instead of overflowing, so a huge index is out of range rather than wrapped.
std::int32_t toInt32Saturating(const std::string& text);

} // namespace vexa
