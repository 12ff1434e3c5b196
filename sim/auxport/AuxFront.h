#pragma once
// The auxiliary-port library over the simulator: the I2C master of a board's
// auxiliary port, with the simulated expanders attached at their 8-bit bus addresses.
// It accepts exactly the frames the aux-port bus builds and refuses the rest. Each
// call is traced; the exported C functions only forward here.

#include "sim/Simulator.h"
#include "sim/Trace.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vexa::sim {

// Results of this library beyond the simulator's own (sim/Simulator.h).
namespace auxstatus {
constexpr std::int32_t kPortState = -10;       // the port is not open, has no frequency, or is already so
constexpr std::int32_t kNoTransferBlock = -11; // a transfer or block end outside a transfer block
constexpr std::int32_t kBadFrame = -12;        // a frame the sequence does not allow here
} // namespace auxstatus

class AuxFront {
public:
    // Loads the configuration the environment names; a refused configuration is
    // reported on `errors`, and then no board exists.
    AuxFront(const SimEnvironment& environment, std::ostream& errors);

    std::int32_t initPort(std::uint32_t boardIndex, std::uint32_t port, std::uint32_t mode, void** portHandle);
    std::int32_t openPort(void* handle);
    std::int32_t closePort(void* handle);
    std::int32_t releasePort(void* handle);
    std::int32_t setParameter(void* handle, const char* name, std::uint32_t index, const void* value,
                              std::uint32_t size);
    std::int32_t send(void* handle, const void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                      std::uint32_t flags, std::uint32_t reserved);
    std::int32_t receive(void* handle, void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                         std::uint32_t flags, std::uint32_t reserved);
    std::int32_t beginTransferBlock(void* handle, std::uint32_t timeout);
    std::int32_t endTransferBlock(void* handle);

private:
    // Where the port is in the frames of one transfer.
    enum class Phase {
        Idle,          // next: a register selected, or nothing
        Selected,      // device and register addressed; next: the read address or the data written
        ReadAddressed, // repeated start with the read bit; next: the bytes received
        Written,       // data written; next: the wait for the write
    };

    struct Port {
        std::int32_t board;
        std::uint32_t number;
        std::size_t id; // "port<id>" in the trace
        bool released = false;
        bool open = false;
        std::uint32_t frequency = 0; // Hz; 0 until set
        bool inBlock = false;
        Phase phase = Phase::Idle;
        std::uint8_t device = 0; // 8-bit write address
        std::uint8_t registerAddress = 0;
    };

    // A result the test set-up asks for (VEXA_SIM_AUX_RESULT): "<function> <k> <result>",
    // several separated by ";". Read again by each VAuxInitPort, which restarts the
    // count; the k-th call of the function from then on does nothing but return the
    // result, so that the caller's handling of any result can be tried.
    struct ForcedResult {
        std::string function;
        std::uint64_t call;
        std::int32_t result;
    };
    void loadForcedResults();
    // Counts the call; the result to return in its place, if one is asked for.
    std::optional<std::int32_t> forcedResult(const char* function);

    // The port behind a handle this library handed out and has not released; null otherwise.
    Port* usable(const void* handle) const;
    std::string handleName(const void* handle) const;
    // Whether a device answers its address on the port's bus: not during its EEPROM write cycle.
    std::int32_t addressDevice(const Port& port, std::uint8_t address) const;
    // The checks every transfer shares: a usable port in a block, sound arguments.
    std::int32_t admitTransfer(const Port* port, const void* bytes, std::uint32_t bufferSize,
                               const std::uint32_t* count, std::uint32_t reserved) const;
    // A transfer's result: a forced one, the refusal of its arguments, or what `frame`
    // makes of it on the admitted port.
    template <typename Frame>
    std::int32_t transferResult(const char* function, Port* port, const void* bytes, std::uint32_t bufferSize,
                                const std::uint32_t* count, std::uint32_t reserved, Frame frame);
    std::int32_t sendFrame(Port& port, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t flags);
    std::int32_t receiveFrame(Port& port, std::uint8_t* bytes, std::uint32_t count, std::uint32_t flags);
    void endBlock(Port& port);
    // "(port0, 2, 2, 0x2001, 0) = 0" with `sent`, when given, after the handle.
    std::string transferText(const char* name, const void* handle, const std::string& sent, std::uint32_t bufferSize,
                             const std::uint32_t* count, std::uint32_t flags, std::uint32_t reserved,
                             std::int32_t result) const;

    TraceFile trace;
    std::unique_ptr<Simulator> simulator; // null when the configuration was refused
    // Every port ever handed out, kept so that a released handle stays recognisable.
    std::vector<std::unique_ptr<Port>> ports;
    std::vector<ForcedResult> forcedResults;
    std::map<std::string, std::uint64_t> callCounts; // since the last VAuxInitPort
};

} // namespace vexa::sim
