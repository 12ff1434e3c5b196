// What the tool does with a board: the inventory each layout builds, the report, the
// registers "-set" writes and reads back, every refusal that leaves the hardware
// untouched, bus failures, and settings that outlive the process.

#include "Cases.h"

#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace vexa::e2e {
namespace {

const Lines kStart = maxDevices(kSlots);
const Lines kStartOfOneBoard = maxDevices(1);

// One board 0x752 with its extension, whose expanders get further statements.
std::string boardWithExtension(const std::string& front, const std::string& extension) {
    return "write-cycle-ms 0\n"
           "board 0 type 0x752\n"
           "expander 0 IOS0 DS4520 " + front + "\n" +
           "expander 0 IOS1 DS4510 " + extension + "\n";
}

// The extension's banks once Port A is set to single-ended, pull-downs, not-inverted:
// Port B shares the inversion and pull pins, and its signal pin stays released.
const std::string kExtensionPortAProgrammed = "Bank 1 \"GPIO Port A\":\n"
                                              "\tOutputs are not-inverted; set to not-inverted\n"
                                              "\tInputs have pull-downs; set to pull-downs\n"
                                              "\tInputs are single-ended; set to single-ended\n"
                                              "Bank 2 \"GPIO Port B\":\n"
                                              "\tOutputs are not-inverted; set to not-inverted\n"
                                              "\tInputs have pull-downs; set to pull-downs\n"
                                              "\tInputs are single-ended; not set\n";

const Case kLayoutCases[] = {
    {"extension_attached",
     {"-verbose", "-board", "0"},
     kMachine,
     {"Board 0 has 3 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(0, 0x752) + frontExpander(0) + extensionExpander(0) + releaseWithProbe(0)}},
    {"extension_excluded",
     {"-exclude", "-verbose", "-board", "0"},
     kMachine,
     {"No external trigger board attached\nBoard 0 has 1 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(0, 0x752) + frontExpander(0) + releaseWithProbe(0)}},
    {"flags_after_board_have_no_effect_on_it",
     {"-board", "0", "-exclude", "-verbose"},
     kMachine,
     {"Done.\n", "", 0,
      kStart + selectBoard(0, 0x752) + frontExpander(0) + extensionExpander(0) + releaseWithProbe(0)}},
    {"extension_not_attached",
     {"-v", "-b", "5"},
     kMachine,
     {"No external trigger board attached\nBoard 5 has 1 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(5, 0x752) + frontExpander(5) + probeUnanswered(5, "IOS1") + releaseWithProbe(5)}},
    {"fixed_second_bank_ignores_exclude",
     {"-x", "-v", "-b", "1"},
     kMachine,
     {"Board 1 has 2 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(1, 0x7510) + frontExpander(1) + fixedExpander(1) + releaseWithProbe(1)}},
    {"front_bank_only_without_destructor_probe",
     {"-v", "-b", "2"},
     kMachine,
     {"No external trigger board attached\nBoard 2 has 1 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(2, 0xB63) + frontExpander(2) + closeBoard(2)}},
    {"extension_layout_without_destructor_probe",
     {"-v", "-b", "4"},
     kMachine,
     {"Board 4 has 3 GPIO banks\nDone.\n", "", 0,
      kStart + selectBoard(4, 0xA61) + frontExpander(4) + extensionExpander(4) + closeBoard(4)}},

    {"front_expander_missing",
     {"-board", "0"},
     boardWithExtension("absent", ""),
     {"", failure("Device not available"), 1,
      kStartOfOneBoard + selectBoard(0, 0x752) + probeUnanswered(0, "IOS0") + closeBoard(0)}},
    {"fixed_second_expander_missing",
     {"-board", "0"},
     "board 0 type 0x7510\nexpander 0 IOS0 DS4520\n",
     {"", failure("Device not available"), 1,
      kStartOfOneBoard + selectBoard(0, 0x7510) + frontExpander(0) + probeUnanswered(0, "IOS1") + closeBoard(0)}},
    {"extension_stops_answering_between_its_probes",
     {"-board", "0"},
     boardWithExtension("", "answers 1"),
     {"", failure("Device not available"), 1,
      kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0) + probe(0, "IOS1") + probeUnanswered(0, "IOS1") +
          closeBoard(0)}},
    {"type_query_fails",
     {"-board", "0"},
     "board 0 type 0x752 fail-type\nexpander 0 IOS0 DS4520\n",
     {"", failure("Board is not supported"), 1, kStartOfOneBoard + selectBoard(0, -4) + closeBoard(0)}},
    {"first_read_of_an_expander_fails",
     {"-board", "0"},
     boardWithExtension("fail-read 3", ""),
     {"", failure("Failed to read register"), 1,
      kStartOfOneBoard + selectBoard(0, 0x752) + probe(0, "IOS0") +
          Lines{"VHalReadConfig(board0, IOS0, 0xF0, 1) = 1 [00]", "VHalReadConfig(board0, IOS0, 0xF1, 1) = -4"} +
          closeBoard(0)}},
};

INSTANTIATE_TEST_SUITE_P(Layout, ToolRun, testing::ValuesIn(kLayoutCases), caseName);

// Every other board-type code of the layout table, and a code in a gap of its runs:
// each with its banks, its display name, and whether the inventory probes its first
// bus once more when it goes.
enum class Banks { Extension, ExtensionWithoutProbe, FixedSecondBank, None };

Case boardType(std::int32_t type, const std::string& display, Banks banks) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(type));
    const std::string machine = "write-cycle-ms 0\nboard 0 type " + std::string(code) +
                                "\nexpander 0 IOS0 DS4520\nexpander 0 IOS1 DS4510\n";
    const std::vector<std::string> commandLine = {"-verbose", "-board", "0", "-get"};
    const Lines start = kStartOfOneBoard + selectBoard(0, type) + frontExpander(0);
    const std::string header = "Board 0 is a " + display + "\n" + unsetBank(0, "Front GPIO");
    const std::string name = std::string("type_") + code;
    switch (banks) {
    case Banks::Extension:
    case Banks::ExtensionWithoutProbe:
        return {name, commandLine, machine,
                {"Board 0 has 3 GPIO banks\n" + header + unsetBank(1, "GPIO Port A") + unsetBank(2, "GPIO Port B") +
                     "Done.\n",
                 kWarning, 0,
                 start + extensionExpander(0) + report(0, type) +
                     (banks == Banks::Extension ? releaseWithProbe(0) : closeBoard(0))}};
    case Banks::FixedSecondBank:
        return {name, commandLine, machine,
                {"Board 0 has 2 GPIO banks\n" + header + unsetBank(1, "GPIO") + "Done.\n",
                 std::string(kWarning) + kWarning, 0,
                 start + fixedExpander(0) + report(0, type) + releaseWithProbe(0)}};
    case Banks::None:
        break;
    }
    return {name, commandLine, machine,
            {"", failure("Board is not supported"), 1, kStartOfOneBoard + selectBoard(0, type) + closeBoard(0)}};
}

const Case kBoardTypeCases[] = {
    boardType(0x753, "Vexa Lynx 753", Banks::Extension),
    boardType(0x755, "Vexa Lynx 755", Banks::Extension),
    boardType(0x756, "Vexa Lynx 756", Banks::Extension),
    boardType(0x757, "Vexa Lynx 757", Banks::Extension),
    boardType(0x758, "Vexa Lynx 758", Banks::Extension),
    boardType(0x7511, "Vexa Lynx 7511", Banks::Extension),
    boardType(0x7541, "Vexa Lynx 7541", Banks::Extension),
    boardType(0x7591, "Vexa Lynx 7591", Banks::Extension),
    boardType(0xA62, "Vexa Heron A62", Banks::ExtensionWithoutProbe),
    boardType(0xA64, "Vexa Heron A64", Banks::ExtensionWithoutProbe),
    boardType(0xA65, "Vexa Heron A65", Banks::ExtensionWithoutProbe),
    boardType(0xA66, "Vexa Heron A66", Banks::ExtensionWithoutProbe),
    boardType(0xA67, "Vexa Heron A67", Banks::ExtensionWithoutProbe),
    boardType(0x7540, "Vexa Lynx 7540", Banks::FixedSecondBank),
    boardType(0xA63, "", Banks::None),
};

INSTANTIATE_TEST_SUITE_P(BoardType, ToolRun, testing::ValuesIn(kBoardTypeCases), caseName);

const Case kReportCases[] = {
    // Front GPIO: pin 0 pulled up, pin 1 driven low, pin 2 both at once. Extension: pin 0
    // released with its dip-switch high, pin 1 pulled up, pin 2 released and held low,
    // pin 3 driven low. Ports A and B share pins 0 and 1.
    {"levels_settings_and_invalid_pins",
     {"-board", "0", "-get"},
     boardWithExtension("\nregister 0xF0 0x05\nregister 0xF2 0xF9",
                        "\nregister 0xF0 0x02\nregister 0xF4 0x00\nexternal 0 high\nexternal 2 low"),
     {"Board 0 is a Vexa Lynx 752\n"
      "Bank 0 \"Front GPIO\":\n"
      "\tOutputs are inverted; set to inverted\n"
      "\tInputs have pull-ups; set to pull-ups\n"
      "\tInputs are single-ended; set to invalid value\n"
      "Bank 1 \"GPIO Port A\":\n"
      "\tOutputs are inverted; not set\n"
      "\tInputs have pull-downs; set to pull-downs\n"
      "\tInputs are single-ended; set to single-ended\n"
      "Bank 2 \"GPIO Port B\":\n"
      "\tOutputs are inverted; not set\n"
      "\tInputs have pull-downs; set to pull-downs\n"
      "\tInputs are single-ended; not set\n"
      "Done.\n",
      kWarning, 0,
      kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0, "05 00 F9 01 01 00 00") +
          extensionExpander(0, "02 00 01 01 01 03 00") + report(0, 0x752) + releaseWithProbe(0)}},
    // Front GPIO fully set: no warning for it; the fixed "GPIO" bank lacks its signal setting.
    {"warning_only_for_the_incomplete_bank",
     {"-board", "0", "-get"},
     "board 0 type 0x7510\n"
     "expander 0 IOS0 DS4520\nregister 0xF0 0x02\nregister 0xF2 0xFA\n"
     "expander 0 IOS1 DS4510\nregister 0xF0 0x01\nregister 0xF6 0x00\n",
     {"Board 0 is a Vexa Lynx 750\n"
      "Bank 0 \"Front GPIO\":\n"
      "\tOutputs are not-inverted; set to not-inverted\n"
      "\tInputs have pull-downs; set to pull-downs\n"
      "\tInputs are single-ended; set to single-ended\n"
      "Bank 1 \"GPIO\":\n"
      "\tOutputs are inverted; set to inverted\n"
      "\tInputs have pull-ups; set to pull-ups\n"
      "\tInputs are single-ended; not set\n"
      "Done.\n",
      kWarning, 0,
      kStartOfOneBoard + selectBoard(0, 0x7510) + frontExpander(0, "02 00 FA 01 02 00 00") +
          fixedExpander(0, "01 01 01 00 01 01 00") + report(0, 0x7510) + releaseWithProbe(0)}},
    // Call 13 is the type query of "-get": the header names no board type then.
    {"type_query_of_the_report_fails",
     {"-board", "2", "-get"},
     kMachine,
     {"Board 2 is a unknown board\n" + unsetBank(0, "Front GPIO") + "Done.\n", kWarning, 0,
      kStart + constructBoard(2) + indexQuery(2) + typeQuery(2, -4) + releaseBoard(2)},
     {{"VEXA_SIM_FAIL_CALL", "13"}}},
};

INSTANTIATE_TEST_SUITE_P(Report, ToolRun, testing::ValuesIn(kReportCases), caseName);

const Case kSetCases[] = {
    // DS4520: configuration 0xF4 cleared, then 0xF0..0xF3 in one transfer; the DS4510
    // is written too, as it was read; then both are read back.
    {"front_bank",
     {"-board", "0", "-set", "0:ds,pu,in", "-get"},
     kMachine,
     {"Board 0 is a Vexa Lynx 752\n"
      "Bank 0 \"Front GPIO\":\n"
      "\tOutputs are inverted; set to inverted\n"
      "\tInputs have pull-ups; set to pull-ups\n"
      "\tInputs are differential; set to differential\n" +
          unsetBank(1, "GPIO Port A") + unsetBank(2, "GPIO Port B") + "Done.\n",
      "", 0,
      kStart + constructBoard(0) + writeDS4520(0, "05 00 FD 01") + writeDS4510(0, "00", "01 01 01 01") +
          readDS4520(0, "05 00 FD 01 05 00 00") + readDS4510(0, kNewDS4510) + report(0, 0x752) +
          releaseBoard(0)}},
    // DS4510: configuration 0xF9 cleared, pull-ups at 0xF0, then control 0xF4..0xF7
    // (pins 3, 2, 1, 0). Port B shows the settings it shares with Port A.
    {"extension_port_a_in_long_words",
     {"-board", "0", "-set", "1:single-ended,pull-down,not-inverted", "-get"},
     kMachine,
     {"Board 0 is a Vexa Lynx 752\n" + unsetBank(0, "Front GPIO") +
          kExtensionPortAProgrammed + "Done.\n",
      kWarning, 0,
      kStart + constructBoard(0) + writeDS4520(0, "00 00 FF 01") + writeDS4510(0, "02", "00 01 01 00") +
          readDS4520(0, kNewDS4520) + readDS4510(0, "02 00 01 01 00 02 00") + report(0, 0x752) +
          releaseBoard(0)}},
    {"all_banks_default",
     {"-board", "0", "-set", "all:default"},
     kMachine,
     {"Done.\n", "", 0,
      kStart + constructBoard(0) + writeDS4520(0, "04 00 FC 01") + writeDS4510(0, "00", "01 01 01 01") +
          readDS4520(0, "04 00 FC 01 04 00 00") + readDS4510(0, kNewDS4510) + releaseBoard(0)}},
    // A write cut off between the DS4510's pull-ups and its control registers left pins
    // 2 and 3 pulled up and driven low: each port alone fails on the other's pin, both
    // ports in one run write every pin again.
    {"half_written_extension_recovered_by_all_banks",
     {"-board", "0", "-set", "all:default"},
     boardWithExtension("", "\nregister 0xF0 0x0C\nregister 0xF4 0x00\nregister 0xF5 0x00"),
     {"Done.\n", "", 0,
      kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0) + extensionExpander(0, "0C 00 00 01 01 00 00") +
          writeDS4520(0, "04 00 FC 01") + writeDS4510(0, "00", "01 01 01 01") + readDS4520(0, "04 00 FC 01 04 00 00") +
          readDS4510(0, kNewDS4510) + releaseWithProbe(0)}},
    // Two arguments, one write and one read-back; the next option follows them.
    {"two_banks_in_one_pass",
     {"-board", "1", "-set", "0:default", "1:default", "-get"},
     kMachine,
     {"Board 1 is a Vexa Lynx 750\n"
      "Bank 0 \"Front GPIO\":\n"
      "\tOutputs are not-inverted; set to not-inverted\n"
      "\tInputs have pull-ups; set to pull-ups\n"
      "\tInputs are differential; set to differential\n"
      "Bank 1 \"GPIO\":\n"
      "\tOutputs are not-inverted; set to not-inverted\n"
      "\tInputs have pull-ups; set to pull-ups\n"
      "\tInputs are single-ended; set to single-ended\n"
      "Done.\n",
      "", 0,
      kStart + constructBoard(1) + writeDS4520(1, "04 00 FC 01") + writeDS4510(1, "00", "00 01 00 00") +
          readDS4520(1, "04 00 FC 01 04 00 00") + readDS4510(1, "00 00 01 00 00 00 00") + report(1, 0x7510) +
          releaseBoard(1)}},
    // Each "-set" is a pass of its own, so the second may undo the first; "-force"
    // counts from where it stands.
    {"later_set_overrides_earlier_one",
     {"-board", "2", "-set", "0:default", "-force", "-set", "0:clear", "-get"},
     kMachine,
     {"Board 2 is a Vexa Osprey B63\n" + unsetBank(0, "Front GPIO") + "Done.\n", kWarning, 0,
      kStart + constructBoard(2) + writeDS4520(2, "04 00 FC 01") + readDS4520(2, "04 00 FC 01 04 00 00") +
          writeDS4520(2, "00 00 FF 01") + readDS4520(2, kNewDS4520) + report(2, 0xB63) + releaseBoard(2)}},
    // An empty bank field names bank 0; an empty argument ends the settings, and what
    // they wrote stays when the run then fails.
    {"empty_argument_ends_the_settings",
     {"-board", "2", "-set", ":default", ""},
     kMachine,
     {"", failure("Unknown option"), 1,
      kStart + constructBoard(2) + writeDS4520(2, "04 00 FC 01") + readDS4520(2, "04 00 FC 01 04 00 00") +
          releaseBoard(2)}},
    // Port B handed to its dip-switch releases the pins it shares with Port A.
    {"dip_switch_releases_shared_pins",
     {"-board", "0", "-set", "2:dip-switch", "-get"},
     boardWithExtension("", "\nregister 0xF0 0x0C\nregister 0xF6 0x00\nregister 0xF7 0x00"),
     {"Board 0 is a Vexa Lynx 752\n" + unsetBank(0, "Front GPIO") +
          "Bank 1 \"GPIO Port A\":\n"
          "\tOutputs are not-inverted; not set\n"
          "\tInputs have pull-ups; not set\n"
          "\tInputs are differential; set to differential\n" +
          unsetBank(2, "GPIO Port B") + "Done.\n",
      kWarning, 0,
      kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0) + extensionExpander(0, "0C 01 01 00 00 0C 00") +
          writeDS4520(0, "00 00 FF 01") + writeDS4510(0, "08", "01 01 01 01") + readDS4520(0, kNewDS4520) +
          readDS4510(0, "08 01 01 01 01 08 00") + report(0, 0x752) + releaseWithProbe(0)}},

    // Bus failures end the run where they happen; the board is still released.
    {"write_fails_after_configuration_cleared",
     {"-board", "0", "-set", "0:default"},
     boardWithExtension("fail-write 2", ""),
     {"", failure("Failed to write register"), 1,
      kStartOfOneBoard + constructBoard(0) +
          Lines{"VHalWriteConfig(board0, IOS0, 0xF4, 1) = 1 [00]",
                "VHalWriteConfig(board0, IOS0, 0xF0, 4) = -4 [04 00 FC 01]"} +
          releaseWithProbe(0)}},
    // Reads 1 and 2 of the DS4510 are the probes, 3 to 9 its first read.
    {"read_back_fails",
     {"-board", "0", "-set", "0:default"},
     boardWithExtension("", "fail-read 10"),
     {"", failure("Failed to read register"), 1,
      kStartOfOneBoard + constructBoard(0) + writeDS4520(0, "04 00 FC 01") + writeDS4510(0, "00", "01 01 01 01") +
          readDS4520(0, "04 00 FC 01 04 00 00") + Lines{"VHalReadConfig(board0, IOS1, 0xF0, 1) = -4"} +
          releaseWithProbe(0)}},
    // Pin 5, which no bank uses, reads back pulled up and driven low: the chip is not
    // written at all.
    {"invalid_pin_that_no_setting_changed",
     {"-board", "0", "-set", "0:default"},
     boardWithExtension("\nregister 0xF0 0x20\nregister 0xF2 0xDF", ""),
     {"", failure("Invalid setting for DS45x0::IoPin"), 1,
      kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0, "20 00 DF 01 00 00 00") + extensionExpander(0) +
          releaseWithProbe(0)}},
};

INSTANTIATE_TEST_SUITE_P(Set, ToolRun, testing::ValuesIn(kSetCases), caseName);

// Rows above once more against a library whose successful transfers return 0 rather
// than the byte count: neither the probes nor "-get" and "-set" may take 0 for a failure.
const Case& rowNamed(const std::vector<Case>& table, const std::string& name) {
    for (const Case& row : table) {
        if (row.name == name) {
            return row;
        }
    }
    throw std::logic_error("no row named " + name);
}

Case withZeroTransferResults(const Case& row) {
    Case zero = row;
    zero.name += "_zero_transfer_results";
    zero.config = "transfer-result zero\n" + row.config;
    for (std::string& line : zero.expected.trace) {
        const std::size_t result = line.find(") = ") + 4;
        const std::size_t end = line.find(' ', result);
        if (line.compare(0, 10, "VHalReadCo") != 0 && line.compare(0, 10, "VHalWriteC") != 0) {
            continue;
        }
        if (line[result] != '-' && end != std::string::npos) {
            line.replace(result, end - result, "0");
        }
    }
    return zero;
}

std::vector<Case> zeroTransferResultCases() {
    std::vector<Case> all(std::begin(kLayoutCases), std::end(kLayoutCases));
    all.insert(all.end(), std::begin(kReportCases), std::end(kReportCases));
    all.insert(all.end(), std::begin(kSetCases), std::end(kSetCases));
    std::vector<Case> zero;
    for (const char* name : {"extension_attached", "extension_not_attached", "fixed_second_bank_ignores_exclude",
                             "levels_settings_and_invalid_pins", "front_bank", "extension_port_a_in_long_words"}) {
        zero.push_back(withZeroTransferResults(rowNamed(all, name)));
    }
    return zero;
}

INSTANTIATE_TEST_SUITE_P(ZeroTransferResults, ToolRun, testing::ValuesIn(zeroTransferResultCases()), caseName);

// A "-set" that refuses any of its arguments writes nothing at all.
Case refusedSet(const std::string& name, const std::vector<std::string>& arguments, const std::string& message) {
    std::vector<std::string> commandLine = {"-board", "0"};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    return {name, commandLine, kMachine, {"", failure(message), 1, kStart + constructBoard(0) + releaseBoard(0)}};
}

const Case kRefusedSetCases[] = {
    refusedSet("bank_without_settings", {"-set", "0"}, "Invalid argument for option"),
    refusedSet("two_colons", {"-set", "0:a:b"}, "Invalid argument for option"),
    refusedSet("word_after_the_settings", {"-set", "0:default", "foo"}, "Invalid argument for option"),
    refusedSet("bank_beyond_the_last", {"-set", "0:ds,pu,in", "9:default"}, "Bank not found"),
    refusedSet("bank_equal_to_the_bank_count", {"-set", "3:default"}, "Bank not found"),
    refusedSet("bank_beyond_32_bits", {"-set", "4294967296:default"}, "Bank not found"),
    refusedSet("ports_disagree_on_a_shared_pin", {"-set", "1:ds,pu,in", "2:ds,pd,in"}, "Conflicting settings"),
    refusedSet("same_pin_twice_in_one_pass", {"-force", "-set", "0:default", "0:clear"}, "Conflicting settings"),
    refusedSet("clear_without_dip_switch", {"-set", "0:clear"}, "Bank has no dip-switch"),
    refusedSet("upper_case_words", {"-set", "0:DS,PU,IN"}, "Unknown value for setting"),
    refusedSet("two_words", {"-set", "0:ds,pu"}, "Invalid number of settings"),
    refusedSet("empty_settings", {"-set", "0:"}, "Unknown value for settings"),
    refusedSet("one_kind_twice", {"-set", "0:ds,ds,pu"}, "Invalid combination of bank settings"),
};

INSTANTIATE_TEST_SUITE_P(RefusedSet, ToolRun, testing::ValuesIn(kRefusedSetCases), caseName);

// The report, and the library traffic, of "-get" on board 0 of boardWithExtension once
// the front bank holds ds,pu,in and Port A and B not-inverted, pull-downs, Port A
// single-ended and Port B's signal released.
const Expected kFrontAndExtensionProgrammed = {
    "Board 0 is a Vexa Lynx 752\n"
    "Bank 0 \"Front GPIO\":\n"
    "\tOutputs are inverted; set to inverted\n"
    "\tInputs have pull-ups; set to pull-ups\n"
    "\tInputs are differential; set to differential\n" +
        kExtensionPortAProgrammed + "Done.\n",
    "", 0,
    kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0, "05 00 FD 01 05 00 00") +
        extensionExpander(0, "02 00 01 01 00 02 00") + report(0, 0x752) + releaseWithProbe(0)};

// What one run programs is still there for the next process, even after a power
// cycle: the tool clears SEE, so its writes reach EEPROM. SEE comes up clear.
TEST(Eeprom, SettingsOutliveTheProcessAndAPowerCycle) {
    const std::string machine = boardWithExtension("\nsram 0xF4 0x01", "\nsram 0xF9 0x10");
    Sandbox sandbox;
    Invocation run;
    run.config = machine;

    run.arguments = {"-board", "0", "-set", "0:ds,pu,in", "1:se,pd,ni"};
    expectOutcome(runTool(sandbox, run),
                  {"Done.\n", "", 0,
                   kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0, "00 00 FF 01 00 00 01") +
                       extensionExpander(0, "00 01 01 01 01 00 10") + writeDS4520(0, "05 00 FD 01") +
                       writeDS4510(0, "02", "00 01 01 00") + readDS4520(0, "05 00 FD 01 05 00 00") +
                       readDS4510(0, "02 00 01 01 00 02 00") + releaseWithProbe(0)},
                  builtTool());

    Invocation powerCycle = run;
    powerCycle.program = platform().bin / platform().simulatorCommandFile();
    powerCycle.arguments = {"power-cycle", "0"};
    const Outcome cycled = runTool(sandbox, powerCycle);
    ASSERT_EQ(0, cycled.process.status) << cycled.process.err;

    run.arguments = {"-board", "0", "-get"};
    expectOutcome(runTool(sandbox, run), kFrontAndExtensionProgrammed, builtTool());
}

// A script changes the board between tool runs with vexa-sim (registers, levels from
// outside, a dip-switch), and the next run reports what the script put there.
TEST(ScriptedBoard, VexaSimChangesWhatTheNextRunReports) {
    Sandbox sandbox;
    Invocation run;
    run.config = boardWithExtension("", "");
    run.arguments = {"-board", "0", "-set", "0:ds,pu,in"};
    const Outcome programmed = runTool(sandbox, run);
    ASSERT_EQ(0, programmed.process.status) << programmed.process.err;

    Invocation simulator = run;
    simulator.program = platform().bin / platform().simulatorCommandFile();
    const auto script = [&](const std::vector<std::string>& arguments, const std::string& out) {
        simulator.arguments = arguments;
        const Outcome done = runTool(sandbox, simulator);
        EXPECT_EQ(0, done.process.status) << done.process.err;
        EXPECT_EQ(out, done.process.out); // vexa-sim ends its lines with "\n" on Windows too
        // A change goes to the trace, as the library's calls do.
        std::string change = "vexa-sim";
        for (const std::string& argument : arguments) {
            change += " " + argument;
        }
        EXPECT_EQ(arguments[0] == "get" ? std::vector<std::string>{} : std::vector<std::string>{change + " = 0"},
                  done.trace);
    };
    // Port A and B: not-inverted, pull-downs; Port A single-ended; Port B's signal released.
    // On a full disk the confirmation is lost, the change stays, and the status says so.
    simulator.arguments = {"set", "0", "IOS1", "0xF0", "0x02"};
    simulator.out = Sink::FullDevice;
    const Outcome unconfirmed = runTool(sandbox, simulator);
    simulator.out = Sink::Pipe;
    EXPECT_EQ(3, unconfirmed.process.status);
    EXPECT_EQ("vexa-sim: the change was made, but its confirmation could not be written to standard output\n",
              unconfirmed.process.err);
    script({"set", "0", "IOS1", "0xF4", "0", "1", "1", "0"}, "Board 0 IOS1: 4 bytes written from 0xF4.\n");
    script({"get", "0", "IOS1", "0xF4", "4"}, "0x00 0x01 0x01 0x00\n");
    simulator.arguments = {"power-cycle", "9"};
    const Outcome refused = runTool(sandbox, simulator);
    EXPECT_EQ(2, refused.process.status);
    EXPECT_EQ("", refused.process.out);
    const std::string config = platform().environmentPath(sandbox.path("sim.conf"));
    EXPECT_EQ("vexa-sim: no board \"9\" in the configuration (" + config + ")\nTry 'vexa-sim --help'.\n",
              refused.process.err);

    run.arguments = {"-board", "0", "-get"};
    expectOutcome(runTool(sandbox, run), kFrontAndExtensionProgrammed, builtTool());

    // Port B's dip-switch drives its released signal line high, and something outside holds
    // the front bank's pulled-up inversion line low: the report shows both levels.
    script({"dip-switch", "0", "B", "on"}, "Board 0 Port B dip-switch on: IOS1 pin 2 high.\n");
    script({"level", "0", "IOS0", "0", "low"}, "Board 0 IOS0 pin 0: low from outside.\n");
    std::string extension = kExtensionPortAProgrammed;
    extension.replace(extension.rfind("single-ended; not set"), 12, "differential");
    expectOutcome(runTool(sandbox, run),
                  {"Board 0 is a Vexa Lynx 752\n"
                   "Bank 0 \"Front GPIO\":\n"
                   "\tOutputs are not-inverted; set to inverted\n"
                   "\tInputs have pull-ups; set to pull-ups\n"
                   "\tInputs are differential; set to differential\n" +
                       extension + "Done.\n",
                   "", 0,
                   kStartOfOneBoard + selectBoard(0, 0x752) + frontExpander(0, "05 00 FD 01 04 00 00") +
                       extensionExpander(0, "02 00 01 01 00 06 00") + report(0, 0x752) + releaseWithProbe(0)},
                  builtTool());
}

} // namespace
} // namespace vexa::e2e
