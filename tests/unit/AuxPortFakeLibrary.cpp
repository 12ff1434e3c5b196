#include "AuxPortFakeLibrary.h"

#include "vexa/vexa_auxport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vexa::test {

namespace {

int portObject; // its address is the one handle the fake hands out

std::string handleName(const void* handle) {
    return handle == &portObject ? "port" : "other";
}

std::string hexBytes(const void* bytes, std::uint32_t count) {
    std::string text = "[";
    for (std::uint32_t i = 0; i < count; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", static_cast<const std::uint8_t*>(bytes)[i]);
        text += pair;
    }
    return text + "]";
}

// Records the call and gives its result: 0 unless injected.
std::int32_t record(const char* function, const std::string& arguments) {
    AuxPortFake& fake = auxPortFake();
    fake.calls.push_back(std::string(function) + "(" + arguments + ")");
    const int occurrence = fake.callsOf(function);
    for (const AuxPortFake::Injection& injection : fake.injections) {
        if (injection.function == function && injection.occurrence == occurrence) {
            return injection.result;
        }
    }
    return 0;
}

// `sent`: the bytes going out, empty for a receive.
std::string transferArguments(void* handle, const std::string& sent, std::uint32_t bufferSize,
                              const std::uint32_t* count, std::uint32_t flags, std::uint32_t reserved) {
    char text[64];
    std::snprintf(text, sizeof text, "%u, %u, 0x%X, %u", bufferSize, *count, flags, reserved);
    return handleName(handle) + ", " + (sent.empty() ? "" : sent + ", ") + text;
}

// The bus must set the count anew before each call, so the fake leaves junk in it.
constexpr std::uint32_t kJunkCount = 0xDEADBEEF;

} // namespace

void AuxPortFake::reset() {
    calls.clear();
    injections.clear();
}

int AuxPortFake::callsOf(const std::string& function) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.compare(0, function.size() + 1, function + "(") == 0;
    }));
}

AuxPortFake& auxPortFake() {
    static AuxPortFake fake;
    return fake;
}

} // namespace vexa::test

using vexa::test::handleName;
using vexa::test::record;

extern "C" {

std::int32_t VAuxInitPort(std::uint32_t boardIndex, std::uint32_t port, std::uint32_t mode, void** portHandle) {
    char text[48];
    std::snprintf(text, sizeof text, "%u, %u, %u", boardIndex, port, mode);
    const std::int32_t result = record("VAuxInitPort", text);
    *portHandle = &vexa::test::portObject;
    return result;
}

std::int32_t VAuxOpenPort(void* portHandle) {
    return record("VAuxOpenPort", handleName(portHandle));
}

std::int32_t VAuxClosePort(void* portHandle) {
    return record("VAuxClosePort", handleName(portHandle));
}

std::int32_t VAuxReleasePort(void* portHandle) {
    return record("VAuxReleasePort", handleName(portHandle));
}

std::int32_t VAuxSetParameter(void* portHandle, const char* name, std::uint32_t index, const void* value,
                              std::uint32_t size) {
    std::int32_t number = 0;
    std::memcpy(&number, value, std::min<std::size_t>(size, sizeof number));
    char text[48];
    std::snprintf(text, sizeof text, ", %u, %d, %u", index, number, size);
    return record("VAuxSetParameter", handleName(portHandle) + ", " + name + text);
}

std::int32_t VAuxI2CSend(void* portHandle, const void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                         std::uint32_t flags, std::uint32_t reserved) {
    const std::string sent = vexa::test::hexBytes(bytes, std::min(bufferSize, *count));
    const std::string arguments =
        vexa::test::transferArguments(portHandle, sent, bufferSize, count, flags, reserved);
    *count = vexa::test::kJunkCount;
    return record("VAuxI2CSend", arguments);
}

std::int32_t VAuxI2CReceive(void* portHandle, void* bytes, std::uint32_t bufferSize, std::uint32_t* count,
                            std::uint32_t flags, std::uint32_t reserved) {
    const std::string arguments = vexa::test::transferArguments(portHandle, "", bufferSize, count, flags, reserved);
    const auto& received = vexa::test::auxPortFake().received;
    std::copy_n(received.begin(), std::min<std::size_t>(bufferSize, received.size()),
                static_cast<std::uint8_t*>(bytes));
    *count = vexa::test::kJunkCount;
    return record("VAuxI2CReceive", arguments);
}

std::int32_t VAuxBeginTransferBlock(void* portHandle, std::uint32_t timeout) {
    return record("VAuxBeginTransferBlock", handleName(portHandle) + ", " + std::to_string(timeout));
}

std::int32_t VAuxEndTransferBlock(void* portHandle) {
    return record("VAuxEndTransferBlock", handleName(portHandle));
}

} // extern "C"
