// The aux-port bus and the expander drivers end to end, over the stand-in
// auxiliary-port library and its simulated expanders; the bus's handling of each
// result, with results the stand-in is told to give (VEXA_SIM_AUX_RESULT).

#include "gpio/BoardGPIOs.h"
#include "gpio/DS45x0.h"
#include "hal/HalEntryPoints.h"
#include "i2c/AuxPortI2CBusAccess.h"
#include "support/Environment.h"
#include "support/Refusal.h"
#include "support/Text.h"
#include "vexa/vexa_auxport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vexa::AuxPortI2CBusAccess;
using vexa::DS4510;
using vexa::DS4520;
using Pin = vexa::DS45x0::IoPin;
using Lines = std::vector<std::string>;

const char kConfig[] = R"(slots 2
write-cycle-ms 40
board 0 type 0x752
expander 0 IOS0 DS4520
  register 0xF0 0x04    # pin 2: pull-up on
  register 0xF2 0xFD    # pin 1: driven low
  register 0x30 0x5A    # user memory, what the bus's reads get
expander 0 IOS1 DS4510
  register 0xF0 0x01    # pin 0: pull-up on
  external 2 high
board 1 type 0x752
expander 1 IOS0 DS4520 absent
)";

// The port libraries read their environment at their first call: each test process
// gets a folder of its own with the configuration, the state and the trace.
class SimulatorFolder : public ::testing::Environment {
public:
    void SetUp() override {
        path = fs::temp_directory_path() / ("vexa-auxport-" + std::to_string(std::random_device{}()));
        fs::create_directories(path);
        std::ofstream(path / "sim.conf") << kConfig;
        vexa::test::setVariable("VEXA_SIM_CONFIG", (path / "sim.conf").string());
        vexa::test::setVariable("VEXA_SIM_STATE", (path / "state").string());
        vexa::test::setVariable("VEXA_SIM_TRACE", (path / "trace").string());
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }

    static fs::path path;
};

fs::path SimulatorFolder::path;
::testing::Environment* const simulatorFolder = ::testing::AddGlobalTestEnvironment(new SimulatorFolder);

class AuxPortSimulator : public ::testing::Test {
protected:
    AuxPortSimulator() { traceMark = traceLines().size(); }
    ~AuxPortSimulator() override { vexa::test::setVariable("VEXA_SIM_AUX_RESULT", nullptr); }

    // For the ports initialised from now on: "<function> <k> <result>;..."
    static void forceResults(const std::string& list) { vexa::test::setVariable("VEXA_SIM_AUX_RESULT", list); }

    // Every trace line, each port handle written "portN".
    static Lines traceLines() {
        Lines lines;
        std::ifstream trace(SimulatorFolder::path / "trace");
        for (std::string line; std::getline(trace, line);) {
            lines.push_back(std::regex_replace(vexa::test::withoutTiming(line), std::regex("port[0-9]+"), "portN"));
        }
        return lines;
    }

    Lines newTraceLines() const {
        const Lines lines = traceLines();
        return Lines(lines.begin() + static_cast<std::ptrdiff_t>(traceMark), lines.end());
    }

    std::size_t traceMark;
};

std::vector<Pin::Setting> settingsOf(const vexa::DS45x0& chip, std::uint32_t count) {
    std::vector<Pin::Setting> settings;
    for (std::uint32_t i = 0; i < count; ++i) {
        settings.push_back(chip.pin(i).getSetting());
    }
    return settings;
}

TEST_F(AuxPortSimulator, BusLifetimeAndProbeAreTracedFrameByFrame) {
    {
        AuxPortI2CBusAccess bus(0, 0, 0xA0);
        EXPECT_TRUE(bus.isAvailable());
    }
    EXPECT_EQ((Lines{"VAuxInitPort(0, 0, 2) = 0 [portN]", "VAuxOpenPort(portN) = 0",
                     "VAuxSetParameter(portN, \"Frequency:Int\", 0, 100000, 4) = 0",
                     "VAuxBeginTransferBlock(portN, 1000) = 0", "VAuxI2CSend(portN, [A0 00], 2, 2, 0x2001, 0) = 0",
                     "VAuxI2CSend(portN, [A1], 2, 1, 0x2001, 0) = 0", "VAuxI2CReceive(portN, 1, 1, 0x1001, 0) = 0 [00]",
                     "VAuxEndTransferBlock(portN) = 0", "VAuxClosePort(portN) = 0", "VAuxReleasePort(portN) = 0"}),
              newTraceLines());
}

TEST_F(AuxPortSimulator, AbsentDeviceDoesNotAnswerItsAddress) {
    AuxPortI2CBusAccess bus(1, 0, 0xA0);
    EXPECT_FALSE(bus.isAvailable());
    const Lines lines = newTraceLines();
    EXPECT_EQ("VAuxI2CSend(portN, [A0 00], 2, 2, 0x2001, 0) = -5", lines.at(4));
    EXPECT_EQ("VAuxEndTransferBlock(portN) = 0", lines.at(5));
}

// The frames of the bus on board 0, port 1, at device 0xA0: a one-byte read of 0x30
// and a four-byte write to 0x20.
const std::string kInit = "VAuxInitPort(0, 1, 2) = 0 [portN]";
const std::string kOpen = "VAuxOpenPort(portN) = 0";
const std::string kFrequency = "VAuxSetParameter(portN, \"Frequency:Int\", 0, 100000, 4) = 0";
const std::string kClose = "VAuxClosePort(portN) = 0";
const std::string kRelease = "VAuxReleasePort(portN) = 0";
const std::string kBegin = "VAuxBeginTransferBlock(portN, 1000) = 0";
const std::string kEnd = "VAuxEndTransferBlock(portN) = 0";
const std::string kSelect30 = "VAuxI2CSend(portN, [A0 30], 2, 2, 0x2001, 0) = 0";
const std::string kInitiateRead = "VAuxI2CSend(portN, [A1], 2, 1, 0x2001, 0) = 0";
const std::string kReceiveOne = "VAuxI2CReceive(portN, 1, 1, 0x1001, 0) = 0 [5A]";
const std::string kSelect20 = "VAuxI2CSend(portN, [A0 20], 2, 2, 0x2001, 0) = 0";
const std::string kData = "VAuxI2CSend(portN, [01 02 03 04], 4, 4, 0x1001, 0) = 0";
const std::string kWait = "VAuxI2CSend(portN, [A0 20], 2, 2, 0x8001, 0) = 0";
const Lines kRead = {kBegin, kSelect30, kInitiateRead, kReceiveOne, kEnd};

const std::uint8_t kWritten[4] = {0x01, 0x02, 0x03, 0x04};

// The same line with another result: "... = 0" becomes "... = <result>".
std::string withResult(const std::string& line, std::int32_t result) {
    return line.substr(0, line.find(" = ")) + " = " + std::to_string(result);
}

TEST_F(AuxPortSimulator, ReadAndWriteAreTheirFramesInOneBlockEach) {
    AuxPortI2CBusAccess bus(0, 1, 0xA0);
    traceMark = traceLines().size();
    std::uint8_t byte = 0;
    EXPECT_EQ(0, bus.read(0x30, &byte, 1));
    EXPECT_EQ(0x5A, byte);
    EXPECT_EQ(0, bus.write(0x20, kWritten, 4));
    EXPECT_EQ((Lines{kBegin, kSelect30, kInitiateRead, kReceiveOne, kEnd, kBegin, kSelect20, kData, kWait, kEnd}),
              newTraceLines());
}

TEST_F(AuxPortSimulator, PositiveTransferResultsAreSuccessAndReturned) {
    forceResults("VAuxI2CSend 1 2; VAuxI2CSend 2 1; VAuxI2CReceive 1 4; VAuxI2CSend 3 2; VAuxI2CSend 4 4;"
                 "VAuxI2CSend 5 2");
    AuxPortI2CBusAccess bus(0, 1, 0xA0);
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(4, bus.read(0x30, bytes, 4));
    EXPECT_EQ(4, bus.write(0x20, kWritten, 4));
    const Lines lines = newTraceLines();
    EXPECT_EQ(2, std::count(lines.begin(), lines.end(), kEnd));
    // Each call is given the count it is to move, whatever the one before left in it.
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "VAuxI2CReceive(portN, 4, 4, 0x1001, 0) = 4"));
}

struct ConstructorFailure {
    const char* forced; // "<function> 1 <result>"
    const char* message;
    Lines calls; // a failure after the port's initialisation leaves no port open
};

void PrintTo(const ConstructorFailure& failure, std::ostream* out) {
    *out << failure.forced;
}

class AuxPortConstructorFailure : public AuxPortSimulator,
                                  public ::testing::WithParamInterface<ConstructorFailure> {};

TEST_P(AuxPortConstructorFailure, ThrowsItsMessageAndCleansUp) {
    const ConstructorFailure& failure = GetParam();
    forceResults(failure.forced);
    EXPECT_EQ(failure.message,
              vexa::test::refusalOf<std::runtime_error>([] { AuxPortI2CBusAccess bus(0, 1, 0xA0); }));
    EXPECT_EQ(failure.calls, newTraceLines());
}

// An open refused leaves the port closed, so closing it is refused in turn.
const std::string kCloseNotOpen = withResult(kClose, -10);

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AuxPortConstructorFailure,
    ::testing::Values(
        ConstructorFailure{"VAuxInitPort 1 -1", "Failed to init port", {"VAuxInitPort(0, 1, 2) = -1"}},
        ConstructorFailure{"VAuxInitPort 1 1", "Failed to init port", {"VAuxInitPort(0, 1, 2) = 1"}},
        ConstructorFailure{"VAuxOpenPort 1 -3", "Failed to open port",
                           {kInit, withResult(kOpen, -3), kCloseNotOpen, kRelease}},
        ConstructorFailure{"VAuxOpenPort 1 7", "Failed to open port",
                           {kInit, withResult(kOpen, 7), kCloseNotOpen, kRelease}},
        ConstructorFailure{"VAuxSetParameter 1 -2", "Failed to set frequency for port",
                           {kInit, kOpen, withResult(kFrequency, -2), kClose, kRelease}},
        ConstructorFailure{"VAuxSetParameter 1 1", "Failed to set frequency for port",
                           {kInit, kOpen, withResult(kFrequency, 1), kClose, kRelease}}));

enum class Transfer { Read, Write };

struct TransferFailure {
    Transfer transfer;
    const char* forced; // "<function> <k> <result>"
    const char* message;
    Lines calls; // the block, once begun, is always ended
};

void PrintTo(const TransferFailure& failure, std::ostream* out) {
    *out << (failure.transfer == Transfer::Read ? "read: " : "write: ") << failure.forced;
}

class AuxPortTransferFailure : public AuxPortSimulator, public ::testing::WithParamInterface<TransferFailure> {};

TEST_P(AuxPortTransferFailure, ThrowsItsMessageEndsTheBlockAndLeavesTheBusUsable) {
    const TransferFailure& failure = GetParam();
    forceResults(failure.forced);
    AuxPortI2CBusAccess bus(0, 1, 0xA0);
    traceMark = traceLines().size();
    std::uint8_t byte = 0;
    EXPECT_EQ(failure.message, vexa::test::refusalOf<std::runtime_error>([&] {
                  if (failure.transfer == Transfer::Read) {
                      bus.read(0x30, &byte, 1);
                  } else {
                      bus.write(0x20, kWritten, 4);
                  }
              }));
    EXPECT_EQ(failure.calls, newTraceLines());

    traceMark = traceLines().size();
    bus.read(0x30, &byte, 1);
    EXPECT_EQ(kRead, newTraceLines());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, AuxPortTransferFailure,
    ::testing::Values(
        TransferFailure{Transfer::Read, "VAuxBeginTransferBlock 1 -1", "Failed to begin transfer block",
                        {withResult(kBegin, -1)}},
        TransferFailure{Transfer::Read, "VAuxBeginTransferBlock 1 1", "Failed to begin transfer block",
                        {withResult(kBegin, 1)}},
        TransferFailure{Transfer::Read, "VAuxI2CSend 1 -1", "Failed to select register",
                        {kBegin, withResult(kSelect30, -1), kEnd}},
        TransferFailure{Transfer::Read, "VAuxI2CSend 2 -1", "Failed to initiate read",
                        {kBegin, kSelect30, withResult(kInitiateRead, -1), kEnd}},
        TransferFailure{Transfer::Read, "VAuxI2CReceive 1 -1", "Failed to read register",
                        {kBegin, kSelect30, kInitiateRead, withResult(kReceiveOne, -1), kEnd}},
        TransferFailure{Transfer::Write, "VAuxBeginTransferBlock 1 2", "Failed to begin transfer block",
                        {withResult(kBegin, 2)}},
        TransferFailure{Transfer::Write, "VAuxI2CSend 1 -5", "Failed to select register",
                        {kBegin, withResult(kSelect20, -5), kEnd}},
        TransferFailure{Transfer::Write, "VAuxI2CSend 2 -5", "Failed to write register",
                        {kBegin, kSelect20, withResult(kData, -5), kEnd}},
        TransferFailure{Transfer::Write, "VAuxI2CSend 3 -5", "Failed to wait for write",
                        {kBegin, kSelect20, kData, withResult(kWait, -5), kEnd}}));

TEST_F(AuxPortSimulator, DS4520ReadsAndProgramsItsPinsOverTheAuxPort) {
    {
        AuxPortI2CBusAccess bus(0, 2, 0xA0);
        DS4520 chip(bus);
        chip.readRegisters();
        EXPECT_EQ((std::vector<Pin::Setting>{Pin::Released, Pin::DrivenLow, Pin::PulledUp}), settingsOf(chip, 3));
        EXPECT_EQ((std::vector<bool>{false, false, true}),
                  (std::vector<bool>{chip.pin(0).level, chip.pin(1).level, chip.pin(2).level}));
        chip.pin(0).setSetting(Pin::PulledUp);
        chip.pin(1).setSetting(Pin::Released);
        chip.writeRegisters();
    }
    AuxPortI2CBusAccess bus(0, 2, 0xA0);
    DS4520 chip(bus);
    chip.readRegisters();
    EXPECT_EQ((std::vector<Pin::Setting>{Pin::PulledUp, Pin::Released, Pin::PulledUp}), settingsOf(chip, 3));
    EXPECT_TRUE(chip.pin(0).level);
}

TEST_F(AuxPortSimulator, DS4510ReadsAndProgramsItsPinsOverTheAuxPort) {
    {
        AuxPortI2CBusAccess bus(0, 3, 0xA2);
        DS4510 chip(bus);
        chip.readRegisters();
        EXPECT_EQ((std::vector<Pin::Setting>{Pin::PulledUp, Pin::Released, Pin::Released, Pin::Released}),
                  settingsOf(chip, 4));
        EXPECT_TRUE(chip.pin(2).level); // driven high from outside
        chip.pin(3).setSetting(Pin::DrivenLow);
        chip.writeRegisters();
    }
    AuxPortI2CBusAccess bus(0, 3, 0xA2);
    DS4510 chip(bus);
    chip.readRegisters();
    EXPECT_EQ(Pin::DrivenLow, chip.pin(3).getSetting());
    EXPECT_FALSE(chip.pin(3).level);
    // The write's frames: register selected, data, then the wait, in one block.
    const Lines lines = newTraceLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                     "VAuxI2CSend(portN, [00 01 01 01], 4, 4, 0x1001, 0) = 0"));
    EXPECT_NE(lines.end(),
              std::find(lines.begin(), lines.end(), "VAuxI2CSend(portN, [A2 F4], 2, 2, 0x8001, 0) = 0"));
}

// One call on a raw port: a send, a receive, or the begin or end of a transfer block.
struct Step {
    enum Kind { Send, Receive, Begin, End } kind;
    std::vector<std::uint8_t> bytes; // sent; for a receive only its size counts
    std::uint32_t flags;
    std::int32_t expected;
    std::uint32_t count; // bytes to move; bytes.size() when 0
    std::uint32_t reserved;
};

Step send(std::vector<std::uint8_t> bytes, std::uint32_t flags, std::int32_t expected, std::uint32_t count = 0,
          std::uint32_t reserved = 0) {
    return {Step::Send, std::move(bytes), flags, expected, count, reserved};
}
Step receive(std::uint32_t count, std::int32_t expected) {
    return {Step::Receive, std::vector<std::uint8_t>(count), 0x1001, expected, 0, 0};
}
Step begin(std::int32_t expected) {
    return {Step::Begin, {}, 0, expected, 0, 0};
}
Step end(std::int32_t expected) {
    return {Step::End, {}, 0, expected, 0, 0};
}

struct Sequence {
    const char* name;
    std::vector<Step> steps;
};

// Result codes of the stand-in (sim/auxport/README.md).
constexpr std::int32_t kBadArgument = -2;
constexpr std::int32_t kNoAnswer = -5;
constexpr std::int32_t kPortState = -10;
constexpr std::int32_t kNoTransferBlock = -11;
constexpr std::int32_t kBadFrame = -12;

void PrintTo(const Sequence& sequence, std::ostream* out) {
    *out << sequence.name;
}

class AuxPortFrames : public AuxPortSimulator, public ::testing::WithParamInterface<Sequence> {};

TEST_P(AuxPortFrames, AreRefusedOutOfSequence) {
    void* port = nullptr;
    ASSERT_EQ(0, VAuxInitPort(0, 0, 2, &port));
    ASSERT_EQ(0, VAuxOpenPort(port));
    const std::int32_t frequency = 100000;
    ASSERT_EQ(0, VAuxSetParameter(port, "Frequency:Int", 0, &frequency, 4));
    int number = 0;
    for (Step step : GetParam().steps) {
        std::uint32_t count = step.count != 0 ? step.count : static_cast<std::uint32_t>(step.bytes.size());
        const auto size = static_cast<std::uint32_t>(step.bytes.size());
        std::int32_t result = 0;
        switch (step.kind) {
        case Step::Send:
            result = VAuxI2CSend(port, step.bytes.data(), size, &count, step.flags, step.reserved);
            break;
        case Step::Receive:
            result = VAuxI2CReceive(port, step.bytes.data(), size, &count, step.flags, 0);
            break;
        case Step::Begin:
            result = VAuxBeginTransferBlock(port, 1000);
            break;
        case Step::End:
            result = VAuxEndTransferBlock(port);
            break;
        }
        EXPECT_EQ(step.expected, result) << "step " << number;
        ++number;
    }
    VAuxClosePort(port);
    VAuxReleasePort(port);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AuxPortFrames,
    ::testing::Values(
        Sequence{"OutsideABlock", {send({0xA0, 0xF0}, 0x2001, kNoTransferBlock), receive(1, kNoTransferBlock)}},
        Sequence{"EndWithoutABlock", {end(kNoTransferBlock)}},
        Sequence{"BlockInABlock", {begin(0), begin(kPortState), end(0)}},
        Sequence{"ReceiveWithoutReadAddress", {begin(0), send({0xA0, 0xF8}, 0x2001, 0), receive(1, kBadFrame), end(0)}},
        Sequence{"ReadAddressWithoutRegister", {begin(0), send({0xA1}, 0x2001, kBadFrame), end(0)}},
        Sequence{"ReadAddressOfAnotherDevice",
                 {begin(0), send({0xA0, 0xF8}, 0x2001, 0), send({0xA3, 0xF8}, 0x2001, kBadFrame, 1), end(0)}},
        Sequence{"DataWithoutRegister", {begin(0), send({0x01}, 0x1001, kBadFrame), end(0)}},
        Sequence{"NewFrameBeforeTheWait",
                 {begin(0), send({0xA0, 0xF0}, 0x2001, 0), send({0x00}, 0x1001, 0),
                  send({0xA0, 0xF0}, 0x2001, kBadFrame), end(0)}},
        Sequence{"WaitForAnotherRegister",
                 {begin(0), send({0xA0, 0xF0}, 0x2001, 0), send({0x00}, 0x1001, 0),
                  send({0xA0, 0xF1}, 0x8001, kBadFrame), end(0)}},
        Sequence{"RefusedFrameEndsTheTransfer",
                 {begin(0), send({0xA0, 0xF8}, 0x2001, 0), send({0x00}, 0x8001, kBadFrame),
                  send({0xA1, 0xF8}, 0x2001, kBadFrame, 1), end(0)}},
        Sequence{"UnknownFlagWord", {begin(0), send({0xA0, 0xF0}, 0x2002, kBadArgument), end(0)}},
        Sequence{"CountBeyondTheBuffer", {begin(0), send({0xA0, 0xF0}, 0x2001, kBadArgument, 3), end(0)}},
        Sequence{"ReservedNotZero", {begin(0), send({0xA0, 0xF0}, 0x2001, kBadArgument, 2, 1), end(0)}},
        Sequence{"NoDeviceAtTheAddress", {begin(0), send({0xB0, 0xF0}, 0x2001, kNoAnswer), end(0)}},
        // Skipping the wait leaves the chip deaf for its write cycle; the wait outlasts it.
        Sequence{"BusyChipAnswersOnlyAfterTheWait",
                 {begin(0), send({0xA2, 0x10}, 0x2001, 0), send({0x11}, 0x1001, 0),
                  send({0xA2, 0x11}, 0x8001, kBadFrame), send({0xA2, 0x10}, 0x2001, kNoAnswer),
                  send({0xA0, 0x10}, 0x2001, 0), send({0x22}, 0x1001, 0), send({0xA0, 0x10}, 0x8001, 0),
                  send({0xA0, 0x10}, 0x2001, 0), end(0)}},
        Sequence{"WholeReadAndWrite",
                 {begin(0), send({0xA0, 0x10}, 0x2001, 0), send({0xA1, 0x10}, 0x2001, 0, 1), receive(2, 0),
                  send({0xA0, 0x10}, 0x2001, 0), send({0x11, 0x22}, 0x1001, 0), send({0xA0, 0x10}, 0x8001, 0),
                  end(0)}}),
    [](const ::testing::TestParamInfo<Sequence>& row) { return std::string(row.param.name); });

TEST_F(AuxPortSimulator, PortSetUpIsChecked) {
    void* port = nullptr;
    EXPECT_EQ(-3, VAuxInitPort(7, 0, 2, &port)); // no board 7
    EXPECT_EQ(kBadArgument, VAuxInitPort(0, 4, 2, &port));
    EXPECT_EQ(kBadArgument, VAuxInitPort(0, 0, 1, &port));
    ASSERT_EQ(0, VAuxInitPort(0, 1, 2, &port));
    void* second = nullptr;
    EXPECT_EQ(-7, VAuxInitPort(0, 1, 2, &second)); // the port is taken

    EXPECT_EQ(kPortState, VAuxBeginTransferBlock(port, 1000)); // not open
    ASSERT_EQ(0, VAuxOpenPort(port));
    EXPECT_EQ(kPortState, VAuxBeginTransferBlock(port, 1000)); // no frequency yet
    const std::int32_t frequencies[] = {0, 1000001};
    for (const std::int32_t frequency : frequencies) {
        EXPECT_EQ(kBadArgument, VAuxSetParameter(port, "Frequency:Int", 0, &frequency, 4)) << frequency;
    }
    const std::int32_t tooFast = 400001; // more than the expanders take
    EXPECT_EQ(kBadArgument, VAuxSetParameter(port, "Speed:Int", 0, &tooFast, 4));
    EXPECT_EQ(kBadArgument, VAuxSetParameter(port, "Frequency:Int", 1, &tooFast, 4));
    EXPECT_EQ(kBadArgument, VAuxSetParameter(port, "Frequency:Int", 0, &tooFast, 2));
    ASSERT_EQ(0, VAuxSetParameter(port, "Frequency:Int", 0, &tooFast, 4));
    ASSERT_EQ(0, VAuxBeginTransferBlock(port, 1000));
    const std::uint8_t select[2] = {0xA0, 0x00};
    std::uint32_t count = 2;
    EXPECT_EQ(kNoAnswer, VAuxI2CSend(port, select, 2, &count, 0x2001, 0));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0, VAuxEndTransferBlock(port));

    EXPECT_EQ(0, VAuxReleasePort(port)); // closes the open port first
    EXPECT_EQ(-1, VAuxOpenPort(port));
    EXPECT_EQ(-1, VAuxReleasePort(port));
    EXPECT_EQ(0, VAuxInitPort(0, 1, 2, &second)); // free again
    EXPECT_EQ(0, VAuxReleasePort(second));
}

// The inventory's factory asks the hardware library for the board's index. While the
// hardware library holds the board, a transfer block on it waits its time-out and fails.
TEST_F(AuxPortSimulator, InventoryCreatesTheBusOnItsBoardAndDestroysIt) {
    vexa::hal::BoardHandle board = vexa::hal::VHalInitDevice(0);
    ASSERT_NE(nullptr, board);
    {
        vexa::BoardGPIOs inventory(board, true);
        traceMark = traceLines().size();
        vexa::I2CBusInterface& bus = inventory.createAuxPortBus(1, 0xA2);
        std::uint8_t byte = 0;
        EXPECT_EQ("Failed to begin transfer block",
                  vexa::test::refusalOf<std::runtime_error>([&] { bus.read(0xF8, &byte, 1); }));
    }
    vexa::hal::VHalFreeDevice(board);
    EXPECT_EQ((Lines{"VHalGetBoardIndex(board0, 0) = 0", "VAuxInitPort(0, 1, 2) = 0 [portN]",
                     "VAuxOpenPort(portN) = 0", "VAuxSetParameter(portN, \"Frequency:Int\", 0, 100000, 4) = 0",
                     "VAuxBeginTransferBlock(portN, 1000) = -7", "VHalReadConfig(board0, IOS0, 0x00, 1) = 1 [00]",
                     "VAuxClosePort(portN) = 0", "VAuxReleasePort(portN) = 0", "VHalFreeDevice(board0) = 0"}),
              newTraceLines());
}

} // namespace
