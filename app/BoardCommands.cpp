#include "BoardCommands.h"

#include "app/NumberConversion.h"
#include "gpio/GPIOBank.h"
#include "hal/LineOutput.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <new>
#include <stdexcept>

namespace vexa {

BoardCommands::BoardCommands(std::FILE* out_, std::FILE* err_) : out(out_), err(err_) {}

BoardCommands::~BoardCommands() {
    release();
}

void BoardCommands::select(std::int32_t number, bool excludeOptional, bool verbose) {
    release();
    boardHandle = hal::VHalInitDevice(number);
    if (boardHandle == nullptr) {
        throw std::runtime_error("Failed to open board");
    }
    // From here the handle is held, so the clean-up closes it even if what follows fails.
    inventory.reset(new (std::nothrow) BoardGPIOs(boardHandle, excludeOptional));
    if (!inventory) {
        throw std::runtime_error("Failed to create GPIOs instance");
    }
    const std::size_t bankCount = inventory->bankCount();
    if (bankCount == 0) {
        throw std::runtime_error("Board is not supported");
    }
    if (verbose) {
        if (bankCount == 1) {
            hal::printLine(out, {"No external trigger board attached"});
        }
        hal::printLine(out, {"Board ", std::to_string(number), " has ", std::to_string(bankCount), " GPIO banks"});
    }
}

void BoardCommands::release() {
    // The inventory's buses use the handle: it goes first.
    inventory.reset();
    if (boardHandle != nullptr) {
        hal::VHalFreeDevice(boardHandle);
        boardHandle = nullptr;
    }
}

void BoardCommands::get() const {
    if (!inventory) {
        throw std::runtime_error("No board selected");
    }
    inventory->print(out, err);
}

void BoardCommands::set(const std::vector<std::string>& settingArguments, bool force) {
    if (!inventory) {
        throw std::runtime_error("No board selected");
    }
    if (settingArguments.empty()) {
        throw std::runtime_error("Missing argument for option");
    }
    for (const std::string& argument : settingArguments) {
        applySetting(argument, force);
    }
    inventory->writeSettings();
    inventory->readSettings(); // shows what the chips hold and starts a new pass
}

void BoardCommands::applySetting(const std::string& argument, bool force) {
    std::vector<std::string> fields;
    boost::split(fields, argument, boost::is_any_of(":"), boost::token_compress_off);
    if (fields.size() != 2) {
        throw std::runtime_error("Invalid argument for option");
    }
    const std::string& bankField = fields[0];
    const std::string& settings = fields[1];
    if (bankField == "all") {
        for (std::size_t number = 0; number < inventory->bankCount(); ++number) {
            inventory->bank(number).applySettings(settings, force);
        }
        return;
    }
    const std::int32_t number = toInt32Saturating(bankField);
    if (number < 0 || static_cast<std::size_t>(number) >= inventory->bankCount()) {
        throw std::runtime_error("Bank not found");
    }
    inventory->bank(static_cast<std::size_t>(number)).applySettings(settings, force);
}

} // namespace vexa
