#pragma once
// The refusal check the tests share: what an action throws, as text to compare.

#include <string>

namespace vexa::test {

// What `action` throws as an `Error`, or kNoRefusal when it returns; any other
// exception goes on to the test.
constexpr const char* kNoRefusal = "(accepted: nothing thrown)";

template <typename Error, typename Action>
std::string refusalOf(Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return kNoRefusal;
}

} // namespace vexa::test
