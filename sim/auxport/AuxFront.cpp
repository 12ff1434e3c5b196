#include "AuxFront.h"

#include "sim/Format.h"
#include "sim/Platform.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace vexa::sim {

using namespace status;
using namespace auxstatus;

namespace {

constexpr std::uint32_t kPortCount = 4;  // auxiliary ports 0 to 3 on every board
constexpr std::uint32_t kI2CMasterMode = 2;
constexpr char kFrequencyParameter[] = "Frequency:Int";
constexpr std::uint32_t kMaxFrequency = 1000000; // Fast-mode Plus, the fastest the master drives
constexpr std::uint32_t kMaxExpanderFrequency = 400000; // faster than this, the expanders do not answer

// The frames' flag words.
constexpr std::uint32_t kAddressPhase = 0x2001;
constexpr std::uint32_t kDataPhase = 0x1001;
constexpr std::uint32_t kWriteWait = 0x8001;

constexpr std::uint8_t kReadBit = 0x01;

std::string bracketed(const void* bytes, std::size_t count) {
    return "[" + hexBytes(static_cast<const std::uint8_t*>(bytes), count) + "]";
}

} // namespace

AuxFront::AuxFront(const SimEnvironment& environment, std::ostream& errors)
    : trace(environment.tracePath, errors), simulator(simulatorFor(environment, errors)) {}

AuxFront::Port* AuxFront::usable(const void* handle) const {
    for (const auto& port : ports) {
        if (port.get() == handle) {
            return port->released ? nullptr : port.get();
        }
    }
    return nullptr;
}

void AuxFront::loadForcedResults() {
    forcedResults.clear();
    callCounts.clear();
    std::istringstream list(environmentValue("VEXA_SIM_AUX_RESULT"));
    for (std::string item; std::getline(list, item, ';');) {
        std::istringstream words(item);
        ForcedResult forced;
        if (words >> forced.function >> forced.call >> forced.result) {
            forcedResults.push_back(forced);
        }
    }
}

std::optional<std::int32_t> AuxFront::forcedResult(const char* function) {
    if (forcedResults.empty()) {
        return std::nullopt; // the usual case, kept cheap
    }
    const std::uint64_t call = ++callCounts[function];
    for (const ForcedResult& forced : forcedResults) {
        if (forced.function == function && forced.call == call) {
            return forced.result;
        }
    }
    return std::nullopt;
}

std::string AuxFront::handleName(const void* handle) const {
    if (handle == nullptr) {
        return "null";
    }
    for (const auto& port : ports) {
        if (port.get() == handle) {
            return "port" + std::to_string(port->id);
        }
    }
    return "unknown";
}

std::int32_t AuxFront::initPort(std::uint32_t boardIndex, std::uint32_t number, std::uint32_t mode,
                                void** portHandle) {
    const auto board = static_cast<std::int32_t>(boardIndex);
    const bool taken = std::any_of(ports.begin(), ports.end(), [&](const auto& port) {
        return !port->released && port->board == board && port->number == number;
    });
    loadForcedResults();
    const std::optional<std::int32_t> forced = forcedResult("VAuxInitPort");
    std::int32_t result = kOk;
    if (forced) {
        result = *forced;
    } else if (simulator == nullptr || boardIndex > 0x7FFFFFFF || simulator->config().board(board) == nullptr) {
        result = kNoBoard;
    } else if (number >= kPortCount || mode != kI2CMasterMode || portHandle == nullptr) {
        result = kBadArgument;
    } else if (taken) {
        result = kBusy;
    } else {
        ports.push_back(std::make_unique<Port>(Port{board, number, ports.size()}));
        *portHandle = ports.back().get();
    }
    std::string line = "VAuxInitPort(" + std::to_string(boardIndex) + ", " + std::to_string(number) + ", " +
                       std::to_string(mode) + ") = " + std::to_string(result);
    if (result == kOk && !forced) {
        line += " [" + handleName(*portHandle) + "]";
    }
    trace.append(line);
    return result;
}

std::int32_t AuxFront::openPort(void* handle) {
    Port* port = usable(handle);
    const std::optional<std::int32_t> forced = forcedResult("VAuxOpenPort");
    const std::int32_t result = forced ? *forced : port == nullptr ? kBadHandle : port->open ? kPortState : kOk;
    if (result == kOk && !forced) {
        port->open = true;
    }
    trace.append("VAuxOpenPort(" + handleName(handle) + ") = " + std::to_string(result));
    return result;
}

void AuxFront::endBlock(Port& port) {
    simulator->closeBoard(port.board);
    port.inBlock = false;
    port.phase = Phase::Idle;
}

std::int32_t AuxFront::closePort(void* handle) {
    Port* port = usable(handle);
    const std::optional<std::int32_t> forced = forcedResult("VAuxClosePort");
    const std::int32_t result = forced ? *forced : port == nullptr ? kBadHandle : !port->open ? kPortState : kOk;
    if (result == kOk && !forced) {
        if (port->inBlock) {
            endBlock(*port);
        }
        port->open = false;
    }
    trace.append("VAuxClosePort(" + handleName(handle) + ") = " + std::to_string(result));
    return result;
}

std::int32_t AuxFront::releasePort(void* handle) {
    Port* port = usable(handle);
    const std::optional<std::int32_t> forced = forcedResult("VAuxReleasePort");
    const std::int32_t result = forced ? *forced : port == nullptr ? kBadHandle : kOk;
    if (result == kOk && !forced) {
        // Releasing an open port closes it first.
        if (port->inBlock) {
            endBlock(*port);
        }
        port->open = false;
        port->released = true;
    }
    trace.append("VAuxReleasePort(" + handleName(handle) + ") = " + std::to_string(result));
    return result;
}

std::int32_t AuxFront::setParameter(void* handle, const char* name, std::uint32_t index, const void* value,
                                    std::uint32_t size) {
    Port* port = usable(handle);
    std::int32_t number = 0;
    if (value != nullptr && size == sizeof number) {
        std::memcpy(&number, value, sizeof number);
    }
    const bool isFrequency = name != nullptr && std::strcmp(name, kFrequencyParameter) == 0 && index == 0 &&
                             value != nullptr && size == sizeof number && number > 0 &&
                             static_cast<std::uint32_t>(number) <= kMaxFrequency;
    const std::optional<std::int32_t> forced = forcedResult("VAuxSetParameter");
    const std::int32_t result = forced ? *forced : port == nullptr ? kBadHandle : !isFrequency ? kBadArgument : kOk;
    if (result == kOk && !forced) {
        port->frequency = static_cast<std::uint32_t>(number);
    }
    const std::string nameText = name == nullptr ? std::string("null") : "\"" + std::string(name) + "\"";
    const std::string valueText = value == nullptr         ? std::string("null")
                                  : size == sizeof number ? std::to_string(number)
                                                          : bracketed(value, std::min<std::size_t>(size, kMaxTransfer));
    trace.append("VAuxSetParameter(" + handleName(handle) + ", " + nameText + ", " + std::to_string(index) + ", " +
                 valueText + ", " + std::to_string(size) + ") = " + std::to_string(result));
    return result;
}

std::int32_t AuxFront::beginTransferBlock(void* handle, std::uint32_t timeout) {
    Port* port = usable(handle);
    const std::optional<std::int32_t> forced = forcedResult("VAuxBeginTransferBlock");
    std::int32_t result = kOk;
    if (forced) {
        result = *forced;
    } else if (port == nullptr) {
        result = kBadHandle;
    } else if (!port->open || port->frequency == 0 || port->inBlock) {
        result = kPortState;
    } else {
        // The block has the board to itself, as a process that holds it through the
        // hardware library does; held longer than the time-out (ms), by another process
        // or by this one, it is kBusy.
        result = simulator->openBoard(port->board, std::chrono::milliseconds(timeout));
        port->inBlock = result == kOk;
        port->phase = Phase::Idle;
    }
    trace.append("VAuxBeginTransferBlock(" + handleName(handle) + ", " + std::to_string(timeout) +
                 ") = " + std::to_string(result));
    return result;
}

std::int32_t AuxFront::endTransferBlock(void* handle) {
    Port* port = usable(handle);
    const std::optional<std::int32_t> forced = forcedResult("VAuxEndTransferBlock");
    const std::int32_t result =
        forced ? *forced : port == nullptr ? kBadHandle : !port->inBlock ? kNoTransferBlock : kOk;
    if (result == kOk && !forced) {
        endBlock(*port);
    }
    trace.append("VAuxEndTransferBlock(" + handleName(handle) + ") = " + std::to_string(result));
    return result;
}

std::int32_t AuxFront::addressDevice(const Port& port, std::uint8_t address) const {
    if (port.frequency > kMaxExpanderFrequency) {
        return kNoAnswer;
    }
    for (const ExpanderConfig& expander : simulator->config().expanders) {
        if (expander.board == port.board && expander.busAddress == address && !expander.absent) {
            // A chip in its EEPROM write cycle does not acknowledge its address.
            return simulator->busyAtBusAddress(port.board, address) ? kNoAnswer : kOk;
        }
    }
    return kNoAnswer;
}

std::int32_t AuxFront::admitTransfer(const Port* port, const void* bytes, std::uint32_t bufferSize,
                                     const std::uint32_t* count, std::uint32_t reserved) const {
    if (port == nullptr) {
        return kBadHandle;
    }
    if (!port->inBlock) {
        return kNoTransferBlock;
    }
    if (bytes == nullptr || count == nullptr || *count == 0 || *count > bufferSize || *count > kMaxTransfer ||
        reserved != 0) {
        return kBadArgument;
    }
    return kOk;
}

std::int32_t AuxFront::sendFrame(Port& port, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t flags) {
    const Phase phase = port.phase;
    port.phase = Phase::Idle; // a refused frame ends the transfer
    switch (flags) {
    case kAddressPhase:
        if (phase == Phase::Idle && count == 2 && (bytes[0] & kReadBit) == 0) {
            const std::int32_t answer = addressDevice(port, bytes[0]);
            if (answer == kOk) {
                port.device = bytes[0];
                port.registerAddress = bytes[1];
                port.phase = Phase::Selected;
            }
            return answer;
        }
        if (phase == Phase::Selected && count == 1 && bytes[0] == (port.device | kReadBit)) {
            port.phase = Phase::ReadAddressed;
            return kOk;
        }
        return kBadFrame;
    case kDataPhase: {
        if (phase != Phase::Selected) {
            return kBadFrame;
        }
        const std::int32_t written =
            simulator->writeAtBusAddress(port.board, port.device, port.registerAddress, bytes, count);
        if (written < 0) {
            return written;
        }
        port.phase = Phase::Written;
        return kOk;
    }
    case kWriteWait:
        // Acknowledge polling: the wait returns once the chip's write cycle is over.
        if (phase == Phase::Written && count == 2 && bytes[0] == port.device && bytes[1] == port.registerAddress) {
            simulator->awaitAtBusAddress(port.board, port.device);
            return addressDevice(port, port.device);
        }
        return kBadFrame;
    default:
        return kBadArgument;
    }
}

std::int32_t AuxFront::receiveFrame(Port& port, std::uint8_t* bytes, std::uint32_t count, std::uint32_t flags) {
    const Phase phase = port.phase;
    port.phase = Phase::Idle;
    if (flags != kDataPhase) {
        return kBadArgument;
    }
    if (phase != Phase::ReadAddressed) {
        return kBadFrame;
    }
    const std::int32_t read = simulator->readAtBusAddress(port.board, port.device, port.registerAddress, bytes, count);
    return read < 0 ? read : kOk;
}

template <typename Frame>
std::int32_t AuxFront::transferResult(const char* function, Port* port, const void* bytes, std::uint32_t bufferSize,
                                      const std::uint32_t* count, std::uint32_t reserved, Frame frame) {
    if (const std::optional<std::int32_t> forced = forcedResult(function)) {
        return *forced;
    }
    const std::int32_t admitted = admitTransfer(port, bytes, bufferSize, count, reserved);
    if (admitted != kOk) {
        if (port != nullptr) {
            port->phase = Phase::Idle; // a refused call ends the frame
        }
        return admitted;
    }
    return frame(*port);
}

std::string AuxFront::transferText(const char* name, const void* handle, const std::string& sent,
                                   std::uint32_t bufferSize, const std::uint32_t* count, std::uint32_t flags,
                                   std::uint32_t reserved, std::int32_t result) const {
    return std::string(name) + "(" + handleName(handle) + ", " + (sent.empty() ? "" : sent + ", ") +
           std::to_string(bufferSize) + ", " + (count == nullptr ? std::string("null") : std::to_string(*count)) +
           ", " + hex(flags, 4) + ", " + std::to_string(reserved) + ") = " + std::to_string(result);
}

std::int32_t AuxFront::send(void* handle, const void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                            std::uint32_t flags, std::uint32_t reserved) {
    Port* port = usable(handle);
    const std::uint32_t requested = count == nullptr ? 0 : *count;
    const std::int32_t result =
        transferResult("VAuxI2CSend", port, bytes, bufferSize, count, reserved, [&](Port& admitted) {
            return sendFrame(admitted, static_cast<const std::uint8_t*>(bytes), requested, flags);
        });
    // The bytes given, whatever the result; a count beyond the buffer is not read.
    const std::string sent = bytes == nullptr ? std::string("null")
                                              : bracketed(bytes, std::min({requested, bufferSize, std::uint32_t{kMaxTransfer}}));
    trace.append(transferText("VAuxI2CSend", handle, sent, bufferSize, count, flags, reserved, result));
    if (count != nullptr) {
        *count = result == kOk ? requested : 0;
    }
    return result;
}

std::int32_t AuxFront::receive(void* handle, void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                               std::uint32_t flags, std::uint32_t reserved) {
    Port* port = usable(handle);
    const std::uint32_t requested = count == nullptr ? 0 : *count;
    const std::int32_t result =
        transferResult("VAuxI2CReceive", port, bytes, bufferSize, count, reserved, [&](Port& admitted) {
            return receiveFrame(admitted, static_cast<std::uint8_t*>(bytes), requested, flags);
        });
    std::string line = transferText("VAuxI2CReceive", handle, "", bufferSize, count, flags, reserved, result);
    if (result == kOk) {
        line += " " + bracketed(bytes, requested);
    }
    trace.append(line);
    if (count != nullptr) {
        *count = result == kOk ? requested : 0;
    }
    return result;
}

} // namespace vexa::sim
