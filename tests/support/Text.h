#pragma once
// Text helpers the test programs share.

#include <string>
#include <vector>

namespace vexa::test {

bool startsWith(const std::string& text, const std::string& prefix);

std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// The parts with `separator` between them.
std::string joined(const std::vector<std::string>& parts, const std::string& separator);

// A simulator trace line without its timing ("  # 12 ms, ..."), which differs from run to run.
std::string withoutTiming(const std::string& traceLine);

// Each line ended with a newline, as a file holds them.
std::string linesText(const std::vector<std::string>& lines);

// The lines of a text, line ends removed.
std::vector<std::string> lines(const std::string& text);

} // namespace vexa::test
