#include "NumberConversion.h"

#include <limits>

namespace vexa {

std::int32_t toInt32Saturating(const std::string& text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMagnitudeLimit = kMax + 1; // enough for the most negative value
    std::size_t i = 0;
    // The white space of the C locale, as atoi sees it.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude < kMagnitudeLimit) {
            magnitude = magnitude * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(magnitude >= kMagnitudeLimit ? -kMagnitudeLimit : -magnitude);
    }
    return static_cast<std::int32_t>(magnitude > kMax ? kMax : magnitude);
}

} // namespace vexa
