#pragma once
// Reading, setting and removing environment variables from a test, on Linux and
// Windows alike.

#include <cstdlib>
#include <string>

namespace vexa::test {

// The variable's value; empty when it is unset.
inline std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A null value removes the variable (on Windows, setting it empty does the same).
inline void setVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value == nullptr ? "" : value);
#else
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
#endif
}

inline void setVariable(const char* name, const std::string& value) {
    setVariable(name, value.c_str());
}

} // namespace vexa::test
