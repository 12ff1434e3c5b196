#include "HalFront.h"

#include "Format.h"

namespace vexa::sim {

using namespace status;

namespace {
const char kBoardTypeKey[] = "board/type";
} // namespace

std::string HalFront::waitNote() {
    if (simulator == nullptr) {
        return "";
    }
    const Simulator::WriteCycleWait wait = simulator->takeWait();
    if (wait.refused) {
        return "refused: the chip is in its EEPROM write cycle";
    }
    return wait.waited.count() > 0 ? "waited " + std::to_string(wait.waited.count()) + " ms for the write cycle" : "";
}

HalFront::HalFront(const SimEnvironment& environment, std::ostream& errors)
    : trace(environment.tracePath, errors), simulator(simulatorFor(environment, errors)) {}

bool HalFront::callFails() {
    return simulator != nullptr && simulator->nextCallFails();
}

template <typename Call>
std::int32_t HalFront::onOpenBoard(const void* handle, Call call) {
    const bool fails = callFails();
    const std::int32_t board = openBoardOf(handle);
    return fails ? kInjected : board < 0 ? kBadHandle : call(board);
}

std::int32_t HalFront::indexOf(const void* handle) const {
    for (const auto& known : handles) {
        if (known.get() == handle) {
            return *known;
        }
    }
    return -1;
}

std::int32_t HalFront::openBoardOf(const void* handle) const {
    const std::int32_t index = indexOf(handle);
    return index >= 0 && simulator->isOpen(index) ? index : -1;
}

void* HalFront::handleOf(std::int32_t board) {
    for (const auto& known : handles) {
        if (*known == board) {
            return known.get();
        }
    }
    handles.push_back(std::make_unique<std::int32_t>(board));
    return handles.back().get();
}

std::string HalFront::handleName(const void* handle) const {
    if (handle == nullptr) {
        return "null";
    }
    const std::int32_t index = indexOf(handle);
    return index < 0 ? std::string("unknown") : "board" + std::to_string(index);
}

std::int32_t HalFront::getMaxDevices() {
    const bool fails = callFails();
    const std::int32_t result = simulator == nullptr ? kNoBoard : fails ? kInjected : simulator->config().slots;
    trace.append("VHalGetMaxDevices() = " + std::to_string(result));
    return result;
}

void* HalFront::initDevice(std::int32_t boardIndex) {
    const bool fails = callFails();
    void* handle = nullptr;
    if (simulator != nullptr && !fails) {
        const BoardConfig* board = simulator->config().board(boardIndex);
        if (board != nullptr && !board->failOpen && simulator->openBoard(boardIndex) == kOk) {
            handle = handleOf(boardIndex);
        }
    }
    trace.append("VHalInitDevice(" + std::to_string(boardIndex) + ") = " + handleName(handle));
    return handle;
}

std::int32_t HalFront::freeDevice(void* handle) {
    const std::int32_t result =
        onOpenBoard(handle, [this](std::int32_t board) { return simulator->closeBoard(board); });
    trace.append("VHalFreeDevice(" + handleName(handle) + ") = " + std::to_string(result), waitNote());
    return result;
}

std::int32_t HalFront::getBoardInfoInt(void* handle, const char* key) {
    const std::int32_t result = onOpenBoard(handle, [&](std::int32_t board) {
        if (key == nullptr || std::string(key) != kBoardTypeKey) {
            return kBadArgument;
        }
        const BoardConfig& config = *simulator->config().board(board);
        return config.failTypeQuery ? kInjected : config.type;
    });
    const std::string keyText = key == nullptr ? std::string("null") : "\"" + std::string(key) + "\"";
    trace.append("VHalGetBoardInfoInt(" + handleName(handle) + ", " + keyText + ") = " + std::to_string(result));
    return result;
}

std::int32_t HalFront::getBoardIndex(void* handle, std::int32_t zero) {
    const std::int32_t result = onOpenBoard(handle, [](std::int32_t board) { return board; });
    trace.append("VHalGetBoardIndex(" + handleName(handle) + ", " + std::to_string(zero) +
                 ") = " + std::to_string(result));
    return result;
}

std::int32_t HalFront::successResult(std::int32_t count) const {
    return count > 0 && simulator->config().transfersReturnZero ? 0 : count;
}

std::string HalFront::transferText(const char* name, const void* handle, std::uint32_t interfaceCode,
                                   std::uint32_t registerAddress, std::uint64_t size, std::int32_t result) const {
    return std::string(name) + "(" + handleName(handle) + ", " + interfaceName(interfaceCode) + ", " +
           hex(registerAddress, 2) + ", " + std::to_string(size) + ") = " + std::to_string(result);
}

std::int32_t HalFront::readConfig(void* handle, void* buffer, std::uint64_t size, std::uint32_t interfaceCode,
                                  std::uint32_t registerAddress) {
    const std::int32_t count = onOpenBoard(handle, [&](std::int32_t board) {
        return simulator->read(board, interfaceCode, registerAddress, buffer, size);
    });
    const std::int32_t result = successResult(count);
    std::string line = transferText("VHalReadConfig", handle, interfaceCode, registerAddress, size, result);
    if (count >= 0) {
        line += " [" + hexBytes(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(count)) + "]";
    }
    trace.append(line, waitNote());
    return result;
}

std::int32_t HalFront::writeConfig(void* handle, const void* buffer, std::uint64_t size, std::uint32_t interfaceCode,
                                   std::uint32_t registerAddress) {
    const std::int32_t result = successResult(onOpenBoard(handle, [&](std::int32_t board) {
        return simulator->write(board, interfaceCode, registerAddress, buffer, size);
    }));
    std::string line = transferText("VHalWriteConfig", handle, interfaceCode, registerAddress, size, result);
    // The bytes given, whatever the result; a size no transfer may have is not read.
    if (buffer != nullptr && size <= kMaxTransfer) {
        line += " [" + hexBytes(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(size)) + "]";
    }
    trace.append(line, waitNote());
    return result;
}

} // namespace vexa::sim
