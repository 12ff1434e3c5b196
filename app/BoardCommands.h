#pragma once
// What the front end does with the selected board: open it and build its GPIO
// inventory, print the report, program settings, and release it again.

#include "gpio/BoardGPIOs.h"
#include "hal/HalEntryPoints.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

class BoardCommands {
public:
    BoardCommands(std::FILE* out, std::FILE* err);
    ~BoardCommands();
    BoardCommands(const BoardCommands&) = delete;
    BoardCommands& operator=(const BoardCommands&) = delete;

    // Releases the current board, opens board `number` and builds its inventory.
    void select(std::int32_t number, bool excludeOptional, bool verbose);
    // Destroys the inventory, then closes the board; nothing when none is selected.
    void release();

    void get() const;
    // Applies every "<bank>:<settings>" argument in memory, then writes all expanders
    // and reads them back; nothing is written when any argument is refused.
    void set(const std::vector<std::string>& settingArguments, bool force);

private:
    void applySetting(const std::string& argument, bool force);

    std::FILE* out;
    std::FILE* err;
    hal::BoardHandle boardHandle = nullptr;
    std::unique_ptr<BoardGPIOs> inventory;
};

} // namespace vexa
