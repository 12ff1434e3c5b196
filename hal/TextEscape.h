#pragma once
// Text from outside (paths, variables, system messages) as the tool shows it in a line
// about the loading: one line whatever it holds, and nothing in it read as something
// the tool wrote.

#include <string>
#include <string_view>

namespace vexa::hal {

// Line breaks as \n and \r, tabs as \t, other control characters as \xHH, and a
// double quote as \"; on Linux a backslash as \\ (on Windows it separates folders and
// no name holds one).
std::string escaped(std::string_view text);

// The value of a variable in double quotes, escaped: blanks at its ends show.
std::string quoted(std::string_view value);

} // namespace vexa::hal
