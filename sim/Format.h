#pragma once
// Text forms shared by the configuration, the state file, the trace and vexa-sim:
// hexadecimal numbers and bytes, interface codes, and the number syntax of the files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace vexa::sim {

// "0x" and at least `digits` uppercase hexadecimal digits: hex(0xF0, 2) is "0xF0".
std::string hex(std::uint64_t value, int digits);

// Bytes as uppercase hexadecimal pairs, separated by blanks unless told otherwise:
// "00 01 FF".
std::string hexBytes(const std::uint8_t* bytes, std::size_t count, const char* separator = " ");

// An interface code as its four characters when all are printable ASCII ("IOS0"),
// otherwise as hex(code, 8).
std::string interfaceName(std::uint32_t code);

// Decimal digits, or "0x" and hexadecimal digits; nothing around them. Empty when the
// text is not such a number or does not fit 64 bits.
std::optional<std::uint64_t> parseUnsigned(const std::string& text);

// Writes the line, its '\n', and flushes at once.
void printLine(std::ostream& stream, const std::string& line);

} // namespace vexa::sim
