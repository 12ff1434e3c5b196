#include "gpio/GPIOBank.h"
#include "support/MemoryBus.h"
#include "support/Refusal.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using vexa::BoardGPIOs;
using vexa::DS4510;
using vexa::DS45x0;
using vexa::test::MemoryBus;
using Bank = BoardGPIOs::GPIOBank;
using Pin = DS45x0::IoPin;

constexpr auto R = Pin::Released;
constexpr auto U = Pin::PulledUp;
constexpr auto L = Pin::DrivenLow;

// A DS4510 read back with every pin released, and the extension's two ports on it.
struct Extension {
    Extension() {
        for (std::uint8_t r = 0xF4; r <= 0xF7; ++r) {
            bus.registers[r] = 0x01;
        }
        chip.readRegisters();
    }
    MemoryBus bus;
    DS4510 chip{bus};
    Bank front{0, "Front GPIO", chip, 0, 1, 2, true};
    Bank fixed{1, "GPIO", chip, 0, 1, 3, true};
    Bank portA{1, "GPIO Port A", chip, 0, 1, 3, false};
    Bank portB{2, "GPIO Port B", chip, 0, 1, 2, false};
};

struct Case {
    const char* text;
    Pin::Setting inversion, pull, signal; // the bank's pins afterwards
};

void expectPins(const DS45x0& chip, const Bank& bank, const Case& c) {
    EXPECT_EQ(c.inversion, chip.pin(bank.getInversionPin()).getSetting()) << c.text;
    EXPECT_EQ(c.pull, chip.pin(bank.getPullPin()).getSetting()) << c.text;
    EXPECT_EQ(c.signal, chip.pin(bank.getSignalPin()).getSetting()) << c.text;
}

TEST(BankSettings, AcceptedTextsSetTheirPins) {
    const Case cases[] = {
        {"ds,pu,in", U, L, U},
        {"in,pu,ds", U, L, U},
        {"pd,differential,ni", L, U, U},
        {"single-ended,pull-down,inverted", U, U, L},
        {"se,pull-up,not-inverted", L, L, L},
        {"default", R, R, R}, // a bank with a dip-switch is handed to it
        {"clear", R, R, R},
        {"dip-switch", R, R, R},
    };
    for (const Case& c : cases) {
        Extension board;
        board.portA.applySettings(c.text, false);
        expectPins(board.chip, board.portA, c);
    }
}

TEST(BankSettings, DefaultDependsOnTheBank) {
    Extension a;
    a.front.applySettings("default", false);
    expectPins(a.chip, a.front, {"front", L, L, U});
    Extension b;
    b.fixed.applySettings("default", false);
    expectPins(b.chip, b.fixed, {"fixed", L, L, L});
}

void expectRefusal(Bank& bank, const std::string& text, bool force, const std::string& message) {
    EXPECT_EQ(message, vexa::test::refusalOf<std::runtime_error>([&] { bank.applySettings(text, force); })) << text;
}

TEST(BankSettings, RefusedTextsSayWhy) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "Unknown value for settings"},
        {"Default", "Unknown value for settings"},
        {"ds,pu", "Invalid number of settings"},
        {"ds,pu,in,", "Invalid number of settings"},
        {"a,b,c,d", "Invalid number of settings"},
        {"DS,PU,IN", "Unknown value for setting"},
        {"inv,pu,ds", "Unknown value for setting"},
        {"ds, pu, in", "Unknown value for setting"},
        {"ds,,in", "Unknown value for setting"},
        {"ds,se,pu", "Conflicting settings"},
        {"ds,ds,pu", "Invalid combination of bank settings"},
        {"in,in,pu", "Invalid combination of bank settings"},
    };
    for (const auto& c : cases) {
        Extension board;
        expectRefusal(board.portA, c.text, false, c.message);
    }
}

TEST(BankSettings, DipSwitchWordsNeedForceOnABankWithoutOne) {
    for (const char* word : {"clear", "dip-switch"}) {
        Extension board;
        board.front.invertOutputs(Bank::On);
        board.chip.readRegisters(); // a new pass, pins as the chip holds them
        expectRefusal(board.front, word, false, "Bank has no dip-switch");
        EXPECT_EQ(0, board.chip.pin(0).setInPass) << "no pin may be touched";
        board.front.applySettings(word, true);
        expectPins(board.chip, board.front, {word, R, R, R});
    }
}

TEST(BankSettings, SharedPinsConflictAcrossBanksWithinAPass) {
    Extension board;
    board.portA.applySettings("ds,pu,in", false);
    expectRefusal(board.portB, "ds,pd,in", false, "Conflicting settings");

    Extension agreeing;
    agreeing.portA.applySettings("ds,pu,in", false);
    agreeing.portB.applySettings("se,pu,in", false); // the same on the shared pins
    expectPins(agreeing.chip, agreeing.portA, {"A", U, L, U});
    expectPins(agreeing.chip, agreeing.portB, {"B", U, L, L});

    Extension other;
    other.portB.applySettings("dip-switch", false);
    expectPins(other.chip, other.portA, {"A after B's dip-switch", R, R, R});
}

TEST(BankSettings, SettersRefuseValuesOutsideTheirRange) {
    Extension board;
    const auto bad = static_cast<Bank::SettingValue>(3);
    const struct {
        void (Bank::*setter)(Bank::SettingValue);
        const char* message;
    } setters[] = {
        {&Bank::invertOutputs, "Invalid setting for BoardGPIOs::GPIOBank::invertOutputs"},
        {&Bank::inputsPullUpDown, "Invalid setting for BoardGPIOs::GPIOBank::inputsPullUpDown"},
        {&Bank::differentialInputs, "Invalid setting for BoardGPIOs::GPIOBank::differentialInputs"},
    };
    for (const auto& s : setters) {
        EXPECT_EQ(s.message, vexa::test::refusalOf<std::logic_error>([&] { (board.front.*s.setter)(bad); }));
    }
}

TEST(BankSettings, APinTheExpanderLacksRefusesTheBank) {
    Extension board;
    EXPECT_THROW(Bank(5, "Bad", board.chip, 0, 1, 4, true), std::out_of_range);
}

} // namespace
