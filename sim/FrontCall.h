#pragma once
// The C boundary of a stand-in library: each exported function forwards to the
// library's front, one call at a time, and nothing thrown crosses the boundary.

#include "Config.h"
#include "Format.h"

#include <exception>
#include <iostream>
#include <mutex>
#include <string>

namespace vexa::sim {

// The library's one `Front`, and the lock that lets one call at a time reach it. The
// front is created on the first call, so that the environment of that moment counts.
template <typename Front>
struct TheFront {
    static Front& get() {
        static Front front(SimEnvironment::fromProcess(), std::cerr);
        return front;
    }
    static std::mutex mutex;
};

template <typename Front>
std::mutex TheFront<Front>::mutex;

// Calls `call` with the library's front. What is thrown is reported on standard
// error and gives `failure`.
template <typename Front, typename Result, typename Call>
Result callFront(Result failure, Call call) {
    try {
        const std::lock_guard<std::mutex> guard(TheFront<Front>::mutex);
        return call(TheFront<Front>::get());
    } catch (const std::exception& error) {
        printLine(std::cerr, std::string("vexa-sim: ") + error.what());
        return failure;
    }
}

} // namespace vexa::sim
