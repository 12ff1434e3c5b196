#pragma once
// The library trace lines that recur in the expected traces, one helper per block.
// Register values are given as the bytes the trace shows, "00 01 FF", in the order the
// tool reads or writes the registers. The DS4520 always sits behind IOS0 and the
// DS4510 behind IOS1.

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::e2e {

using Lines = std::vector<std::string>;

Lines operator+(Lines first, const Lines& second);

// What the chips hold when new: DS4520 in read order F0 F1 F2 F3 F8 F9 F4, DS4510 in
// read order F0 F4 F5 F6 F7 F8 F9.
constexpr char kNewDS4520[] = "00 00 FF 01 00 00 00";
constexpr char kNewDS4510[] = "00 01 01 01 01 00 00";

Lines maxDevices(int slots);
Lines openBoard(int board);   // VHalInitDevice answered with a handle
Lines openFails(int board);   // VHalInitDevice answered null
Lines typeQuery(int board, std::int32_t result);
Lines indexQuery(int board);
Lines closeBoard(int board);

// The presence probe: a one-byte read of register 0x00 that the chip answers, or not.
Lines probe(int board, const char* bus);
Lines probeUnanswered(int board, const char* bus);

Lines readDS4520(int board, const std::string& bytes);
Lines readDS4510(int board, const std::string& bytes);
// Configuration register cleared, then pull-up enable and I/O control 0/1 in one run.
Lines writeDS4520(int board, const std::string& bytes);
// Configuration register cleared, pull-up enable, then the four I/O control registers.
Lines writeDS4510(int board, const std::string& pullUps, const std::string& controls);

// Opening a board and its type query.
Lines selectBoard(int board, std::int32_t type);
// The front bank's DS4520: probe and first read.
Lines frontExpander(int board, const std::string& ds4520 = kNewDS4520);
// The extension's DS4510: the layout's probe, the expander's probe and the first read.
Lines extensionExpander(int board, const std::string& ds4510 = kNewDS4510);
// The fixed second bank's DS4510: the expander's probe and the first read.
Lines fixedExpander(int board, const std::string& ds4510 = kNewDS4510);
// Destroying an inventory that probes its first bus, then closing the board.
Lines releaseWithProbe(int board);
// "-get": the board's index and type.
Lines report(int board, std::int32_t type);

} // namespace vexa::e2e
