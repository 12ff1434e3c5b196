#include "BoardTypeNames.h"

namespace vexa {

namespace {

struct BoardTypeEntry {
    std::int32_t code;
    const char* name; // null: the name comes from the variant table
};

// Variants whose display names are kept apart from the main table.
constexpr BoardTypeEntry kVariantNames[] = {
    {0xA43, "Vexa Heron A43 Compact"},
    {0xB41, "Vexa Osprey B41 Lite"},
    {0xB42, "Vexa Osprey B42 Lite"},
    {0xC41, "Vexa Kestrel C41 Quad"},
    {0xC42, "Vexa Kestrel C42 Quad"},
};

constexpr const char* kLynx750 = "Vexa Lynx 750"; // also the name of 0x7510

constexpr BoardTypeEntry kBoardTypeNames[] = {
    {0x750, kLynx750},          {0x751, "Vexa Lynx 751"},    {0x752, "Vexa Lynx 752"},
    {0x753, "Vexa Lynx 753"},   {0x754, "Vexa Lynx 754"},    {0x755, "Vexa Lynx 755"},
    {0x756, "Vexa Lynx 756"},   {0x757, "Vexa Lynx 757"},    {0x758, "Vexa Lynx 758"},
    {0x759, "Vexa Lynx 759"},

    {0xA40, "Vexa Heron A40"},  {0xA41, "Vexa Heron A41"},   {0xA42, "Vexa Heron A42"},
    {0xA43, nullptr},           {0xA44, "Vexa Heron A44"},   {0xA45, "Vexa Heron A45"},
    {0xA51, "Vexa Heron A51"},  {0xA52, "Vexa Heron A52"},   {0xA53, "Vexa Heron A53"},
    {0xA54, "Vexa Heron A54"},  {0xA55, "Vexa Heron A55"},   {0xA56, "Vexa Heron A56"},
    {0xA57, "Vexa Heron A57"},  {0xA58, "Vexa Heron A58"},   {0xA59, "Vexa Heron A59"},
    {0xA5A, "Vexa Heron A5A"},  {0xA61, "Vexa Heron A61"},   {0xA62, "Vexa Heron A62"},
    {0xA64, "Vexa Heron A64"},  {0xA65, "Vexa Heron A65"},   {0xA66, "Vexa Heron A66"},
    {0xA67, "Vexa Heron A67"},

    {0xB41, nullptr},           {0xB42, nullptr},            {0xB50, "Vexa Osprey B50"},
    {0xB51, "Vexa Osprey B51"}, {0xB52, "Vexa Osprey B52"},  {0xB53, "Vexa Osprey B53"},
    {0xB5F, "Vexa Osprey B5F"}, {0xB61, "Vexa Osprey B61"},  {0xB63, "Vexa Osprey B63"},
    {0xB68, "Vexa Osprey B68"},

    {0xC41, nullptr},           {0xC42, nullptr},            {0xC43, "Vexa Kestrel C43"},
    {0xC44, "Vexa Kestrel C44"}, {0xE42, "Vexa Merlin E42"}, {0xE44, "Vexa Merlin E44"},

    {0x7510, kLynx750},         {0x7511, "Vexa Lynx 7511"},  {0x7540, "Vexa Lynx 7540"},
    {0x7541, "Vexa Lynx 7541"}, {0x7591, "Vexa Lynx 7591"},  {0xB500, "Vexa Osprey B500"},
    {0xB501, "Vexa Osprey B501"},
};

template <std::size_t N>
const char* find(const BoardTypeEntry (&table)[N], std::int32_t code) {
    for (const BoardTypeEntry& entry : table) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return nullptr;
}

} // namespace

const char* boardTypeName(std::int32_t boardType) {
    for (const BoardTypeEntry& entry : kBoardTypeNames) {
        if (entry.code == boardType) {
            const char* name = entry.name != nullptr ? entry.name : find(kVariantNames, boardType);
            return name != nullptr ? name : "unknown board";
        }
    }
    return "unknown board";
}

} // namespace vexa
