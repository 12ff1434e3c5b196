#include "sim/Chip.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace vexa::sim {
namespace {

Chip freshChip(ChipType type, const ExternalLevels& external = {}) {
    return Chip(type, factoryImage(type), external);
}

std::vector<std::uint8_t> readRange(const Chip& chip, unsigned start, unsigned count) {
    std::vector<std::uint8_t> bytes;
    for (unsigned i = 0; i < count; ++i) {
        bytes.push_back(chip.read(static_cast<std::uint8_t>(start + i)));
    }
    return bytes;
}

// True when the write reached EEPROM.
bool writeByte(Chip& chip, std::uint8_t address, std::uint8_t value) {
    return chip.write(address, &value, 1);
}

void changeBit(Chip& chip, const RegisterBit& where, bool on) {
    const std::uint8_t old = chip.memory.sram[where.address];
    writeByte(chip, where.address, static_cast<std::uint8_t>(on ? old | where.mask : old & ~where.mask));
}

void setPin(Chip& chip, unsigned pin, bool pullUp, bool drivenLow) {
    changeBit(chip, chip.layout().pins[pin].pullUp, pullUp);
    changeBit(chip, chip.layout().pins[pin].control, !drivenLow);
}

TEST(Chip, MultiByteWritesAdvanceAndWrapInsideTheirPage) {
    Chip chip = freshChip(ChipType::DS4520);
    const std::uint8_t bytes[] = {0x12, 0xFE, 0x7F, 0x03};
    chip.write(0xF0, bytes, 4);
    EXPECT_EQ(readRange(chip, 0xF0, 4), (std::vector<std::uint8_t>{0x12, 0xFE, 0x7F, 0x03}));

    const std::uint8_t wrapping[] = {0xAA, 0xBB, 0xCC, 0x01}; // 0xF6 and 0xF7 are reserved, then 0xF0
    chip.write(0xF6, wrapping, 4);
    EXPECT_EQ(readRange(chip, 0xF0, 4), (std::vector<std::uint8_t>{0xCC, 0x01, 0x7F, 0x03}));
    EXPECT_EQ(chip.memory.pageWrites[0xF0 / kPageSize], 2u);
    EXPECT_EQ(chip.memory.pageWrites[0xF8 / kPageSize], 0u);
}

TEST(Chip, StatusAndReservedRegistersIgnoreWrites) {
    for (const ChipType type : {ChipType::DS4510, ChipType::DS4520}) {
        Chip chip = freshChip(type);
        const std::uint8_t ones[] = {0xFF, 0xFF};
        chip.write(0xF8, ones, 2);
        writeByte(chip, 0x50, 0xFF);
        EXPECT_EQ(chip.read(0xF8), 0x00) << chip.layout().name;
        EXPECT_EQ(chip.read(0x50), 0x00) << chip.layout().name;
    }
}

struct LevelCase {
    ChipType chip;
    unsigned pin;
    bool pullUp;
    bool drivenLow;
    ExternalLevel external;
    PinSetting setting;
    bool level;
};

TEST(Chip, PinSettingAndStatusFollowTheLine) {
    const LevelCase cases[] = {
        {ChipType::DS4520, 2, false, false, ExternalLevel::Floating, PinSetting::Released, false},
        {ChipType::DS4520, 2, true, false, ExternalLevel::Floating, PinSetting::PulledUp, true},
        {ChipType::DS4520, 8, true, false, ExternalLevel::Low, PinSetting::PulledUp, false},
        {ChipType::DS4520, 8, false, false, ExternalLevel::High, PinSetting::Released, true},
        {ChipType::DS4520, 7, true, true, ExternalLevel::High, PinSetting::Invalid, false},
        {ChipType::DS4510, 0, false, true, ExternalLevel::High, PinSetting::DrivenLow, false},
        {ChipType::DS4510, 3, true, false, ExternalLevel::Floating, PinSetting::PulledUp, true},
        {ChipType::DS4510, 1, false, false, ExternalLevel::High, PinSetting::Released, true},
    };
    for (const LevelCase& c : cases) {
        ExternalLevels external{};
        external[c.pin] = c.external;
        Chip chip = freshChip(c.chip, external);
        setPin(chip, c.pin, c.pullUp, c.drivenLow);
        const RegisterBit status = chip.layout().pins[c.pin].status;
        SCOPED_TRACE(std::string(chip.layout().name) + " pin " + std::to_string(c.pin));
        EXPECT_EQ(chip.pinSetting(c.pin), c.setting);
        EXPECT_EQ(chip.pinLevel(c.pin), c.level);
        EXPECT_EQ(chip.read(status.address), c.level ? status.mask : 0);
    }
}

TEST(Chip, DS4510HasOneControlRegisterPerPin) {
    Chip chip = freshChip(ChipType::DS4510);
    writeByte(chip, 0xF7, 0x00); // pin 0
    writeByte(chip, 0xF4, 0xFF); // pin 3
    EXPECT_EQ(chip.pinSetting(0), PinSetting::DrivenLow);
    EXPECT_EQ(chip.pinSetting(1), PinSetting::Released);
    EXPECT_EQ(chip.pinSetting(3), PinSetting::Released);
    writeByte(chip, 0xF0, 0x09); // pull-ups of pins 0 and 3
    EXPECT_EQ(chip.pinSetting(0), PinSetting::Invalid);
    EXPECT_EQ(chip.pinSetting(3), PinSetting::PulledUp);
    EXPECT_EQ(chip.read(0xF8), 0x08);
}

TEST(Chip, DS4510KeepsResetDelayAndUserBytesInEepromAndLosesUserSram) {
    Chip chip = freshChip(ChipType::DS4510);
    const std::uint8_t eepromBacked[] = {0x03, 0x44, 0x55};
    const std::uint8_t scratch[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11};
    EXPECT_TRUE(chip.write(0xF1, eepromBacked, 3));
    EXPECT_FALSE(chip.write(0xFA, scratch, 6));
    EXPECT_EQ(readRange(chip, 0xF1, 3), std::vector<std::uint8_t>(eepromBacked, eepromBacked + 3));
    EXPECT_EQ(readRange(chip, 0xFA, 6), std::vector<std::uint8_t>(scratch, scratch + 6));
    chip.powerCycle();
    EXPECT_EQ(readRange(chip, 0xF1, 3), std::vector<std::uint8_t>(eepromBacked, eepromBacked + 3));
    EXPECT_EQ(readRange(chip, 0xFA, 6), std::vector<std::uint8_t>(6, 0x00));
}

TEST(Chip, SeeDecidesWhetherWritesReachEepromAndPowerCycleReloads) {
    for (const ChipType type : {ChipType::DS4510, ChipType::DS4520}) {
        Chip chip = freshChip(type);
        const RegisterBit see = chip.layout().see;
        const unsigned page = 0xF0 / kPageSize;
        SCOPED_TRACE(chip.layout().name);

        EXPECT_TRUE(writeByte(chip, 0xF0, 0x05));
        EXPECT_EQ(chip.memory.eeprom[0xF0], 0x05);
        EXPECT_EQ(chip.memory.pageWrites[page], 1u);

        writeByte(chip, see.address, see.mask); // configuration: SRAM only, no EEPROM write
        EXPECT_EQ(chip.memory.pageWrites[page], 1u);
        EXPECT_FALSE(writeByte(chip, 0xF0, 0x0A));
        EXPECT_EQ(chip.read(0xF0), 0x0A);
        EXPECT_EQ(chip.memory.eeprom[0xF0], 0x05);
        EXPECT_TRUE(writeByte(chip, 0x10, 0x77)) << "user memory is EEPROM";

        chip.powerCycle();
        EXPECT_EQ(chip.read(0xF0), 0x05);
        EXPECT_EQ(chip.read(see.address), 0x00);
        EXPECT_EQ(chip.read(0x10), 0x77);
    }
}

TEST(Chip, EachTransferCountsOneWriteOfItsPage) {
    Chip chip = freshChip(ChipType::DS4520);
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    chip.write(0x04, bytes, 4);
    chip.write(0x06, bytes, 1);
    chip.write(0x08, bytes, 1);
    EXPECT_EQ(chip.memory.pageWrites[0], 2u);
    EXPECT_EQ(chip.memory.pageWrites[1], 1u);
    EXPECT_EQ(chip.memory.pageWrites[2], 0u);

    chip.memory.pageWrites[2] = std::numeric_limits<std::uint32_t>::max();
    chip.write(0x10, bytes, 1);
    EXPECT_EQ(chip.memory.pageWrites[2], std::numeric_limits<std::uint32_t>::max()) << "worn out stays worn out";
}

// With an endurance, a page written that often keeps no more: user memory reads what it
// kept, a register's SRAM takes the write but a power cycle brings the kept value back.
TEST(Chip, AWornOutPageKeepsItsLastValues) {
    Chip chip = freshChip(ChipType::DS4510);
    chip.endurance = 2;
    EXPECT_TRUE(writeByte(chip, 0x08, 0x11));
    EXPECT_TRUE(writeByte(chip, 0x09, 0x22));
    EXPECT_TRUE(writeByte(chip, 0x08, 0x33)) << "a worn-out page still takes its write cycle";
    EXPECT_EQ(readRange(chip, 0x08, 2), (std::vector<std::uint8_t>{0x11, 0x22}));
    EXPECT_EQ(chip.memory.pageWrites[1], 3u);
    EXPECT_TRUE(writeByte(chip, 0x10, 0x44)) << "other pages are new";
    EXPECT_EQ(chip.read(0x10), 0x44);

    writeByte(chip, 0xF0, 0x01);
    writeByte(chip, 0xF1, 0x02);
    writeByte(chip, 0xF0, 0x03);
    EXPECT_EQ(chip.read(0xF0), 0x03);
    EXPECT_EQ(chip.memory.eeprom[0xF0], 0x01);
    chip.powerCycle();
    EXPECT_EQ(chip.read(0xF0), 0x01);
    EXPECT_EQ(chip.read(0x08), 0x11);
}

TEST(Chip, FloatingHighMakesUndrivenLinesReadHigh) {
    Chip chip = freshChip(ChipType::DS4520, {ExternalLevel::Floating, ExternalLevel::Low});
    EXPECT_EQ(chip.read(0xF8), 0x00);
    chip.floatingHigh = true;
    EXPECT_EQ(chip.read(0xF8), 0xFD) << "pin 1 held low from outside";
    setPin(chip, 2, false, true);
    EXPECT_EQ(chip.read(0xF8), 0xF9) << "a driven-low pin reads low";
}

} // namespace
} // namespace vexa::sim
