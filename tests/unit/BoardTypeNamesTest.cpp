// The display names that no layout shows end to end: boards of these types are not
// supported, so no report ever prints their header.

#include "gpio/BoardTypeNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    std::int32_t code;
    const char* name;
};

TEST(BoardTypeName, VariantsTakeTheirNamesFromTheVariantTable) {
    const NameCase cases[] = {
        {0xA43, "Vexa Heron A43 Compact"}, {0xB41, "Vexa Osprey B41 Lite"},  {0xB42, "Vexa Osprey B42 Lite"},
        {0xC41, "Vexa Kestrel C41 Quad"},  {0xC42, "Vexa Kestrel C42 Quad"},
    };
    for (const NameCase& row : cases) {
        EXPECT_EQ(std::string(row.name), vexa::boardTypeName(row.code)) << std::hex << "0x" << row.code;
    }
}

} // namespace
