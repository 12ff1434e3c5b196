#pragma once
// The hardware library's seven entry points over the simulator, each call counted for
// fault injection and traced. The exported C functions only forward here.

#include "Simulator.h"
#include "Trace.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace vexa::sim {

class HalFront {
public:
    // Loads the configuration the environment names; a refused configuration is
    // reported on `errors`, and then no board exists.
    HalFront(const SimEnvironment& environment, std::ostream& errors);

    std::int32_t getMaxDevices();
    void* initDevice(std::int32_t boardIndex);
    std::int32_t freeDevice(void* board);
    std::int32_t getBoardInfoInt(void* board, const char* key);
    std::int32_t getBoardIndex(void* board, std::int32_t zero);
    std::int32_t readConfig(void* board, void* buffer, std::uint64_t size, std::uint32_t interfaceCode,
                            std::uint32_t registerAddress);
    std::int32_t writeConfig(void* board, const void* buffer, std::uint64_t size, std::uint32_t interfaceCode,
                             std::uint32_t registerAddress);

    // "board<index>" for a handle this library handed out, "null", or "unknown".
    std::string handleName(const void* handle) const;

private:
    // The trace note on what the call met of a chip's write cycle; empty when nothing.
    std::string waitNote();
    // Counts the call; true when the configuration makes it fail.
    bool callFails();
    // Counts the call; then the injected failure, kBadHandle for a handle without an
    // open board, or what `call` gives for the board's index.
    template <typename Call>
    std::int32_t onOpenBoard(const void* handle, Call call);
    // The index of the open board behind a handle; negative when there is none.
    std::int32_t openBoardOf(const void* handle) const;
    std::int32_t indexOf(const void* handle) const;
    void* handleOf(std::int32_t board);
    // A transfer's result as the library returns it: the byte count, or 0 for a
    // successful transfer when the configuration says so.
    std::int32_t successResult(std::int32_t count) const;
    std::string transferText(const char* name, const void* board, std::uint32_t interfaceCode,
                             std::uint32_t registerAddress, std::uint64_t size, std::int32_t result) const;

    TraceFile trace;
    std::unique_ptr<Simulator> simulator; // null when the configuration was refused
    // One per board ever opened, kept for the life of the library, so that a handle
    // stays recognisable after the board is closed.
    std::vector<std::unique_ptr<std::int32_t>> handles;
};

} // namespace vexa::sim
