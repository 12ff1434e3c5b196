#pragma once
// A stand-in for the auxiliary-port library inside the test process: it records every
// call as a line of text and fails the calls it is told to fail.

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::test {

struct AuxPortFake {
    // Makes the `occurrence`-th call (from 1) of `function` return `result`.
    struct Injection {
        std::string function;
        int occurrence;
        std::int32_t result;
    };

    // One line per call, e.g. "VAuxI2CSend(port, [A0 F8], 2, 2, 0x2001, 0)"; "port"
    // is the handle the fake handed out, "other" any other pointer.
    std::vector<std::string> calls;
    std::vector<Injection> injections;
    std::vector<std::uint8_t> received; // what a receive delivers, from its start

    // Forgets calls and injections.
    void reset();
    int callsOf(const std::string& function) const;
};

AuxPortFake& auxPortFake();

} // namespace vexa::test
