#include "AuxPortFakeLibrary.h"
#include "i2c/AuxPortI2CBusAccess.h"
#include "support/Refusal.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using vexa::AuxPortI2CBusAccess;
using vexa::test::AuxPortFake;
using vexa::test::auxPortFake;
using vexa::test::refusalOf;
using Calls = std::vector<std::string>;

const std::string kInit = "VAuxInitPort(3, 1, 2)";
const std::string kOpen = "VAuxOpenPort(port)";
const std::string kFrequency = "VAuxSetParameter(port, Frequency:Int, 0, 100000, 4)";
const std::string kClose = "VAuxClosePort(port)";
const std::string kRelease = "VAuxReleasePort(port)";
const std::string kBegin = "VAuxBeginTransferBlock(port, 1000)";
const std::string kEnd = "VAuxEndTransferBlock(port)";

// The frames of a one-byte read of 0xF8 and a four-byte write to 0xF0 at device 0xA0.
const std::string kSelectF8 = "VAuxI2CSend(port, [A0 F8], 2, 2, 0x2001, 0)";
const std::string kInitiateRead = "VAuxI2CSend(port, [A1], 2, 1, 0x2001, 0)";
const std::string kReceiveOne = "VAuxI2CReceive(port, 1, 1, 0x1001, 0)";
const std::string kSelectF0 = "VAuxI2CSend(port, [A0 F0], 2, 2, 0x2001, 0)";
const std::string kData = "VAuxI2CSend(port, [01 02 03 04], 4, 4, 0x1001, 0)";
const std::string kWait = "VAuxI2CSend(port, [A0 F0], 2, 2, 0x8001, 0)";

const std::uint8_t kWritten[4] = {0x01, 0x02, 0x03, 0x04};

class AuxPortBus : public ::testing::Test {
protected:
    AuxPortBus() { fake.reset(); }

    // A bus whose construction is already recorded and forgotten.
    std::unique_ptr<AuxPortI2CBusAccess> openBus() {
        auto bus = std::make_unique<AuxPortI2CBusAccess>(3, 1, 0xA0);
        fake.calls.clear();
        return bus;
    }

    AuxPortFake& fake = auxPortFake();
};

TEST_F(AuxPortBus, OpensThePortAt100kHzAndClosesThenReleasesItWhenDestroyed) {
    {
        AuxPortI2CBusAccess bus(3, 1, 0xA0);
        EXPECT_EQ((Calls{kInit, kOpen, kFrequency}), fake.calls);
    }
    EXPECT_EQ((Calls{kInit, kOpen, kFrequency, kClose, kRelease}), fake.calls);
}

TEST_F(AuxPortBus, ReadSendsTheRegisterThenTheReadAddressThenReceivesInOneBlock) {
    auto bus = openBus();
    fake.received = {0x5A};
    std::uint8_t byte = 0;
    bus->read(0xF8, &byte, 1);
    EXPECT_EQ((Calls{kBegin, kSelectF8, kInitiateRead, kReceiveOne, kEnd}), fake.calls);
    EXPECT_EQ(0x5A, byte);
}

TEST_F(AuxPortBus, WriteSendsTheRegisterThenTheDataThenWaitsInOneBlock) {
    auto bus = openBus();
    bus->write(0xF0, kWritten, 4);
    EXPECT_EQ((Calls{kBegin, kSelectF0, kData, kWait, kEnd}), fake.calls);
}

TEST_F(AuxPortBus, PositiveTransferResultsAreSuccessAndReturned) {
    auto bus = openBus();
    fake.injections = {{"VAuxI2CSend", 1, 2}, {"VAuxI2CSend", 2, 1}, {"VAuxI2CReceive", 1, 4},
                       {"VAuxI2CSend", 3, 2}, {"VAuxI2CSend", 4, 4}, {"VAuxI2CSend", 5, 2}};
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(4, bus->read(0xF0, bytes, 4));
    EXPECT_EQ(4, bus->write(0xF0, kWritten, 4));
    EXPECT_EQ(2, fake.callsOf("VAuxEndTransferBlock"));
}

struct ConstructorFailure {
    const char* function;
    std::int32_t result;
    const char* message;
    Calls calls; // a failure after the port's initialisation leaves no port open
};

void PrintTo(const ConstructorFailure& failure, std::ostream* out) {
    *out << failure.function << " gives " << failure.result;
}

class AuxPortConstructorFailure : public AuxPortBus, public ::testing::WithParamInterface<ConstructorFailure> {};

TEST_P(AuxPortConstructorFailure, ThrowsItsMessageAndCleansUp) {
    const ConstructorFailure& failure = GetParam();
    fake.injections = {{failure.function, 1, failure.result}};
    EXPECT_EQ(failure.message, refusalOf<std::runtime_error>([] { AuxPortI2CBusAccess bus(3, 1, 0xA0); }));
    EXPECT_EQ(failure.calls, fake.calls);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AuxPortConstructorFailure,
    ::testing::Values(
        ConstructorFailure{"VAuxInitPort", -1, "Failed to init port", {kInit}},
        ConstructorFailure{"VAuxInitPort", 1, "Failed to init port", {kInit}},
        ConstructorFailure{"VAuxOpenPort", -3, "Failed to open port", {kInit, kOpen, kClose, kRelease}},
        ConstructorFailure{"VAuxOpenPort", 7, "Failed to open port", {kInit, kOpen, kClose, kRelease}},
        ConstructorFailure{"VAuxSetParameter", -2, "Failed to set frequency for port",
                           {kInit, kOpen, kFrequency, kClose, kRelease}},
        ConstructorFailure{"VAuxSetParameter", 1, "Failed to set frequency for port",
                           {kInit, kOpen, kFrequency, kClose, kRelease}}));

enum class Transfer { Read, Write };

struct TransferFailure {
    Transfer transfer;
    const char* function;
    int occurrence;
    std::int32_t result;
    const char* message;
    Calls calls; // the block, once begun, is always ended
};

void PrintTo(const TransferFailure& failure, std::ostream* out) {
    *out << (failure.transfer == Transfer::Read ? "read: " : "write: ") << failure.function << " call "
         << failure.occurrence << " gives " << failure.result;
}

class AuxPortTransferFailure : public AuxPortBus, public ::testing::WithParamInterface<TransferFailure> {};

TEST_P(AuxPortTransferFailure, ThrowsItsMessageEndsTheBlockAndLeavesTheBusUsable) {
    const TransferFailure& failure = GetParam();
    auto bus = openBus();
    fake.injections = {{failure.function, failure.occurrence, failure.result}};
    std::uint8_t byte = 0;
    EXPECT_EQ(failure.message, refusalOf<std::runtime_error>([&] {
                  if (failure.transfer == Transfer::Read) {
                      bus->read(0xF8, &byte, 1);
                  } else {
                      bus->write(0xF0, kWritten, 4);
                  }
              }));
    EXPECT_EQ(failure.calls, fake.calls);

    fake.reset();
    bus->read(0xF8, &byte, 1);
    EXPECT_EQ((Calls{kBegin, kSelectF8, kInitiateRead, kReceiveOne, kEnd}), fake.calls);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AuxPortTransferFailure,
    ::testing::Values(
        TransferFailure{Transfer::Read, "VAuxBeginTransferBlock", 1, -1, "Failed to begin transfer block", {kBegin}},
        TransferFailure{Transfer::Read, "VAuxBeginTransferBlock", 1, 1, "Failed to begin transfer block", {kBegin}},
        TransferFailure{Transfer::Read, "VAuxI2CSend", 1, -1, "Failed to select register",
                        {kBegin, kSelectF8, kEnd}},
        TransferFailure{Transfer::Read, "VAuxI2CSend", 2, -1, "Failed to initiate read",
                        {kBegin, kSelectF8, kInitiateRead, kEnd}},
        TransferFailure{Transfer::Read, "VAuxI2CReceive", 1, -1, "Failed to read register",
                        {kBegin, kSelectF8, kInitiateRead, kReceiveOne, kEnd}},
        TransferFailure{Transfer::Write, "VAuxBeginTransferBlock", 1, 2, "Failed to begin transfer block",
                        {kBegin}},
        TransferFailure{Transfer::Write, "VAuxI2CSend", 1, -5, "Failed to select register",
                        {kBegin, kSelectF0, kEnd}},
        TransferFailure{Transfer::Write, "VAuxI2CSend", 2, -5, "Failed to write register",
                        {kBegin, kSelectF0, kData, kEnd}},
        TransferFailure{Transfer::Write, "VAuxI2CSend", 3, -5, "Failed to wait for write",
                        {kBegin, kSelectF0, kData, kWait, kEnd}}));

TEST_F(AuxPortBus, ProbeIsAOneByteReadOfRegisterZeroAndAFailureAnswersFalse) {
    auto bus = openBus();
    EXPECT_TRUE(bus->isAvailable());
    EXPECT_EQ((Calls{kBegin, "VAuxI2CSend(port, [A0 00], 2, 2, 0x2001, 0)", kInitiateRead, kReceiveOne, kEnd}),
              fake.calls);
    fake.reset();
    fake.injections = {{"VAuxI2CSend", 1, -1}};
    EXPECT_FALSE(bus->isAvailable());
    EXPECT_EQ(1, fake.callsOf("VAuxEndTransferBlock"));
}

} // namespace
