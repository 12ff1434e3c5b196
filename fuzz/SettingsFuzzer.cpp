// Fuzzes the settings grammar: the settings texts of one "-set" pass, applied to the
// banks of one expander laid out as on a board, over a chip held in memory. Whatever
// the texts: a refusal is one of the grammar's own messages, a refusal that comes
// before any setter leaves the pins alone, and a pass that is accepted is written and
// reads back exactly as it was set.
//
// Input: a set-up byte (bit 0: force; the rest, modulo 3: the layout), the six bytes
// the chip's image registers hold at the start, then records separated by NUL bytes,
// each a bank digit followed by a settings text.

#include "gpio/GPIOBank.h"
#include "tests/support/MemoryBus.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using vexa::DS45x0;
using Bank = vexa::BoardGPIOs::GPIOBank;

struct BankLayout {
    std::int32_t number; // as in the inventory: "default" depends on it
    const char* name;
    std::uint32_t inversionPin;
    std::uint32_t pullPin;
    std::uint32_t signalPin;
    bool noDipSwitch;
};

struct ExpanderLayout {
    bool ds4520;
    std::array<std::uint8_t, 6> imageRegisters; // set from the input
    std::vector<BankLayout> banks;
};

const ExpanderLayout kLayouts[] = {
    {true, {0xF0, 0xF1, 0xF2, 0xF3, 0xF8, 0xF9}, {{0, "Front GPIO", 0, 1, 2, true}}},
    {false,
     {0xF0, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8},
     {{1, "GPIO Port A", 0, 1, 3, false}, {2, "GPIO Port B", 0, 1, 2, false}}},
    {false, {0xF0, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8}, {{1, "GPIO", 0, 1, 3, true}}},
};

// Refusals of applySettings; the first three come before any setter runs.
const char* const kRefusals[] = {
    "Invalid number of settings", "Unknown value for settings", "Bank has no dip-switch",
    "Unknown value for setting",  "Invalid combination of bank settings", "Conflicting settings",
};
constexpr std::size_t kRefusalsBeforeSetters = 3;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzzer: %s\n", what);
        std::abort();
    }
}

std::vector<DS45x0::IoPin::Setting> settingsOf(const DS45x0& expander) {
    std::vector<DS45x0::IoPin::Setting> settings;
    for (std::uint32_t pin = 0; pin < expander.pinCount(); ++pin) {
        settings.push_back(expander.pin(pin).getSetting());
    }
    return settings;
}

// Applies one record; false when the bank refused it, which ends the pass unwritten.
bool apply(Bank& bank, const DS45x0& expander, const std::string& text, bool force) {
    const auto before = settingsOf(expander);
    try {
        bank.applySettings(text, force);
        return true;
    } catch (const std::runtime_error& refusal) {
        const std::string message = refusal.what();
        std::size_t known = 0;
        while (known < std::size(kRefusals) && message != kRefusals[known]) {
            ++known;
        }
        require(known < std::size(kRefusals), "a refusal that is not one of the grammar's messages");
        require(known >= kRefusalsBeforeSetters || settingsOf(expander) == before,
                "a refusal before any setter changed a pin");
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) {
        return 0;
    }
    const bool force = (data[0] & 1) != 0;
    const ExpanderLayout& layout = kLayouts[(data[0] >> 1) % std::size(kLayouts)];

    vexa::test::MemoryBus bus; // never made to fail
    for (std::size_t i = 0; i < layout.imageRegisters.size(); ++i) {
        bus.registers[layout.imageRegisters[i]] = data[1 + i];
    }
    std::unique_ptr<DS45x0> expander;
    if (layout.ds4520) {
        expander = std::make_unique<vexa::DS4520>(bus);
    } else {
        expander = std::make_unique<vexa::DS4510>(bus);
    }
    expander->readRegisters(); // starts the pass, as the inventory does
    std::vector<std::unique_ptr<Bank>> banks;
    for (const BankLayout& bank : layout.banks) {
        banks.push_back(std::make_unique<Bank>(bank.number, bank.name, *expander, bank.inversionPin, bank.pullPin,
                                               bank.signalPin, bank.noDipSwitch));
    }

    const std::string records(reinterpret_cast<const char*>(data + 7), size - 7);
    for (std::size_t start = 0; start <= records.size();) {
        std::size_t end = records.find('\0', start);
        end = end == std::string::npos ? records.size() : end;
        if (end > start) {
            Bank& bank = *banks[static_cast<unsigned char>(records[start]) % banks.size()];
            if (!apply(bank, *expander, records.substr(start + 1, end - start - 1), force)) {
                return 0;
            }
        }
        start = end + 1;
    }

    // The pass is accepted: commit it as the front end does.
    const auto applied = settingsOf(*expander);
    try {
        expander->writeRegisters();
    } catch (const std::logic_error& refusal) {
        require(std::string(refusal.what()) == "Invalid setting for DS45x0::IoPin",
                "writeRegisters refused with an unexpected message");
        bool invalidPin = false;
        for (const auto setting : applied) {
            invalidPin = invalidPin || setting == DS45x0::IoPin::Invalid;
        }
        require(invalidPin, "writeRegisters refused a pass without an invalid pin");
        return 0;
    }
    expander->readRegisters();
    require(settingsOf(*expander) == applied, "the chip does not read back what was set");
    return 0;
}
