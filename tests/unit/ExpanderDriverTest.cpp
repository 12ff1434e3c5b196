#include "gpio/DS45x0.h"
#include "support/MemoryBus.h"
#include "support/Refusal.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using vexa::DS4510;
using vexa::DS4520;
using vexa::DS45x0;
using vexa::test::MemoryBus;
using Pin = DS45x0::IoPin;
using Log = std::vector<std::string>;

std::vector<Pin::Setting> settingsOf(const DS45x0& chip) {
    std::vector<Pin::Setting> settings;
    for (std::uint32_t i = 0; i < chip.pinCount(); ++i) {
        settings.push_back(chip.pin(i).getSetting());
    }
    return settings;
}

std::vector<bool> levelsOf(const DS45x0& chip) {
    std::vector<bool> levels;
    for (std::uint32_t i = 0; i < chip.pinCount(); ++i) {
        levels.push_back(chip.pin(i).level);
    }
    return levels;
}

TEST(DS4510, ReadsEachRegisterWithATransferOfItsOwnThenDecodes) {
    MemoryBus bus;
    bus.registers[0xF0] = 0b1001; // pull-ups on pins 0 and 3
    bus.registers[0xF7] = 0x00;   // pin 0: output on
    bus.registers[0xF6] = 0x00;   // pin 1: output on
    bus.registers[0xF5] = 0x01;   // pin 2: output off
    bus.registers[0xF4] = 0xFF;   // pin 3: any non-zero control byte is "off"
    bus.registers[0xF8] = 0b1100; // levels
    DS4510 chip(bus);
    chip.readRegisters();
    EXPECT_EQ((Log{"R F0/1", "R F4/1", "R F5/1", "R F6/1", "R F7/1", "R F8/1", "R F9/1"}), bus.log);
    EXPECT_EQ((std::vector<Pin::Setting>{Pin::Invalid, Pin::DrivenLow, Pin::Released, Pin::PulledUp}),
              settingsOf(chip));
    EXPECT_EQ((std::vector<bool>{false, false, true, true}), levelsOf(chip));
}

TEST(DS4510, WritesConfigurationFirstThenPullUpsThenTheFourControlRegisters) {
    MemoryBus bus;
    bus.registers[0xF9] = 0x10; // SEE set: must be cleared so the settings reach EEPROM
    bus.registers[0xF4] = 0xFF;
    for (std::uint8_t r = 0xF5; r <= 0xF7; ++r) {
        bus.registers[r] = 0x01;
    }
    DS4510 chip(bus);
    chip.readRegisters();
    bus.log.clear();
    chip.pin(0).setSetting(Pin::DrivenLow);
    chip.pin(1).setSetting(Pin::PulledUp);
    chip.writeRegisters();
    // Pin 3 was never set and is written back as "off" (0x01), pin 2 as read.
    EXPECT_EQ((Log{"W F9/1 00", "W F0/1 02", "W F4/4 01 01 01 00"}), bus.log);
}

TEST(DS4520, ReadsPairsStatusAndConfigurationInOrder) {
    MemoryBus bus;
    bus.registers[0xF0] = 0b0000'0101; // pull-ups on pins 0 and 2
    bus.registers[0xF1] = 0x01;        // pull-up on pin 8
    bus.registers[0xF2] = 0b1111'1010; // pins 0 and 2 driven low
    bus.registers[0xF3] = 0x00;        // pin 8 driven low
    bus.registers[0xF8] = 0b0000'0010;
    bus.registers[0xF9] = 0x01;
    DS4520 chip(bus);
    chip.readRegisters();
    EXPECT_EQ((Log{"R F0/1", "R F1/1", "R F2/1", "R F3/1", "R F8/1", "R F9/1", "R F4/1"}), bus.log);
    const auto settings = settingsOf(chip);
    EXPECT_EQ(Pin::Invalid, settings[0]);
    EXPECT_EQ(Pin::Released, settings[1]);
    EXPECT_EQ(Pin::Invalid, settings[2]);
    EXPECT_EQ(Pin::Released, settings[7]);
    EXPECT_EQ(Pin::Invalid, settings[8]);
    EXPECT_EQ((std::vector<bool>{false, true, false, false, false, false, false, false, true}), levelsOf(chip));
}

TEST(DS4520, WritesOneRunAndKeepsTheUpperBitsOfTheSecondPair) {
    MemoryBus bus;
    bus.registers[0xF0] = 0x00;
    bus.registers[0xF1] = 0xA4; // bits 1..7 are not ours: written back as read
    bus.registers[0xF2] = 0xFF;
    bus.registers[0xF3] = 0x5F;
    bus.registers[0xF4] = 0x01;
    DS4520 chip(bus);
    chip.readRegisters();
    bus.log.clear();
    chip.pin(0).setSetting(Pin::PulledUp);
    chip.pin(1).setSetting(Pin::DrivenLow);
    chip.pin(8).setSetting(Pin::PulledUp);
    chip.writeRegisters();
    EXPECT_EQ((Log{"W F4/1 00", "W F0/4 01 A5 FD 5F"}), bus.log);
}

TEST(IoPin, ConflictsAreRefusedWithinAPassOnly) {
    MemoryBus bus;
    DS4510 chip(bus);
    chip.readRegisters();
    Pin& pin = chip.pin(0);
    pin.setSetting(Pin::DrivenLow);
    pin.setSetting(Pin::DrivenLow); // the same value again is fine
    EXPECT_EQ("Conflicting settings",
              vexa::test::refusalOf<std::runtime_error>([&] { pin.setSetting(Pin::PulledUp); }));
    EXPECT_EQ(Pin::DrivenLow, pin.getSetting());
    chip.readRegisters(); // a new pass
    pin.setSetting(Pin::PulledUp);
    EXPECT_EQ(Pin::PulledUp, pin.getSetting());
    EXPECT_THROW(chip.pin(1).setSetting(Pin::Invalid), std::logic_error);
}

template <typename Chip>
void expectInvalidPinGuardsTheWrite(std::uint8_t pullUpRegister, std::uint8_t pin0Control,
                                    std::uint8_t pin0ControlBit) {
    MemoryBus bus;
    bus.registers[pullUpRegister] = 0x01;
    bus.registers[pin0Control] = static_cast<std::uint8_t>(~pin0ControlBit); // pin 0 on and pulled up
    Chip chip(bus);
    chip.readRegisters();
    ASSERT_EQ(Pin::Invalid, chip.pin(0).getSetting());
    bus.log.clear();
    EXPECT_THROW(chip.writeRegisters(), std::logic_error);
    EXPECT_TRUE(bus.log.empty()) << "nothing may reach the chip";
    chip.pin(0).setSetting(Pin::Released);
    EXPECT_NO_THROW(chip.writeRegisters());
}

TEST(DS45x0, AnInvalidPinNobodySetRefusesTheWriteBeforeAnyTransfer) {
    expectInvalidPinGuardsTheWrite<DS4510>(0xF0, 0xF7, 0xFF);
    expectInvalidPinGuardsTheWrite<DS4520>(0xF0, 0xF2, 0x01);
}

TEST(DS45x0, AFailedReadLeavesThePinsAsTheyWere) {
    MemoryBus bus;
    DS4520 chip(bus);
    chip.readRegisters();
    chip.pin(3).setSetting(Pin::PulledUp);
    bus.registers[0xF2] = 0x00; // would decode every pin as driven low
    bus.failTransfer = static_cast<int>(bus.log.size()) + 4;
    EXPECT_THROW(chip.readRegisters(), std::runtime_error);
    EXPECT_EQ(Pin::PulledUp, chip.pin(3).getSetting());
    EXPECT_EQ(1, chip.pin(3).setInPass);
}

TEST(DS45x0, PinAccessIsBoundsChecked) {
    MemoryBus bus;
    DS4510 small(bus);
    DS4520 large(bus);
    EXPECT_NO_THROW(small.pin(3));
    EXPECT_THROW(small.pin(4), std::out_of_range);
    EXPECT_NO_THROW(large.pin(8));
    EXPECT_THROW(large.pin(9), std::out_of_range);
}

} // namespace
