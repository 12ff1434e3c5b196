#include "LibraryCalls.h"

#include <sstream>
#include <stdexcept>

namespace vexa::e2e {

namespace {

std::string handle(int board) {
    return "board" + std::to_string(board);
}

std::vector<std::string> words(const std::string& bytes) {
    std::istringstream stream(bytes);
    std::vector<std::string> result;
    for (std::string word; stream >> word;) {
        result.push_back(word);
    }
    return result;
}

std::string transfer(const char* entryPoint, int board, const char* bus, const char* registerAddress,
                     const std::string& bytes) {
    const std::string count = std::to_string(words(bytes).size());
    return std::string(entryPoint) + "(" + handle(board) + ", " + bus + ", " + registerAddress + ", " + count +
           ") = " + count + " [" + bytes + "]";
}

// One one-byte read per register, each answered with its byte of `bytes`.
Lines readEach(int board, const char* bus, const std::vector<const char*>& registers, const std::string& bytes) {
    const std::vector<std::string> values = words(bytes);
    if (values.size() != registers.size()) {
        throw std::logic_error("expected " + std::to_string(registers.size()) + " register values: " + bytes);
    }
    Lines lines;
    for (std::size_t i = 0; i < registers.size(); ++i) {
        lines.push_back(transfer("VHalReadConfig", board, bus, registers[i], values[i]));
    }
    return lines;
}

} // namespace

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Lines maxDevices(int slots) {
    return {"VHalGetMaxDevices() = " + std::to_string(slots)};
}

Lines openBoard(int board) {
    return {"VHalInitDevice(" + std::to_string(board) + ") = " + handle(board)};
}

Lines openFails(int board) {
    return {"VHalInitDevice(" + std::to_string(board) + ") = null"};
}

Lines typeQuery(int board, std::int32_t result) {
    return {"VHalGetBoardInfoInt(" + handle(board) + ", \"board/type\") = " + std::to_string(result)};
}

Lines indexQuery(int board) {
    return {"VHalGetBoardIndex(" + handle(board) + ", 0) = " + std::to_string(board)};
}

Lines closeBoard(int board) {
    return {"VHalFreeDevice(" + handle(board) + ") = 0"};
}

Lines probe(int board, const char* bus) {
    return {transfer("VHalReadConfig", board, bus, "0x00", "00")};
}

Lines probeUnanswered(int board, const char* bus) {
    return {"VHalReadConfig(" + handle(board) + ", " + bus + ", 0x00, 1) = -5"};
}

Lines readDS4520(int board, const std::string& bytes) {
    return readEach(board, "IOS0", {"0xF0", "0xF1", "0xF2", "0xF3", "0xF8", "0xF9", "0xF4"}, bytes);
}

Lines readDS4510(int board, const std::string& bytes) {
    return readEach(board, "IOS1", {"0xF0", "0xF4", "0xF5", "0xF6", "0xF7", "0xF8", "0xF9"}, bytes);
}

Lines writeDS4520(int board, const std::string& bytes) {
    return {transfer("VHalWriteConfig", board, "IOS0", "0xF4", "00"),
            transfer("VHalWriteConfig", board, "IOS0", "0xF0", bytes)};
}

Lines writeDS4510(int board, const std::string& pullUps, const std::string& controls) {
    return {transfer("VHalWriteConfig", board, "IOS1", "0xF9", "00"),
            transfer("VHalWriteConfig", board, "IOS1", "0xF0", pullUps),
            transfer("VHalWriteConfig", board, "IOS1", "0xF4", controls)};
}

Lines selectBoard(int board, std::int32_t type) {
    return openBoard(board) + typeQuery(board, type);
}

Lines frontExpander(int board, const std::string& ds4520) {
    return probe(board, "IOS0") + readDS4520(board, ds4520);
}

Lines extensionExpander(int board, const std::string& ds4510) {
    return probe(board, "IOS1") + fixedExpander(board, ds4510);
}

Lines fixedExpander(int board, const std::string& ds4510) {
    return probe(board, "IOS1") + readDS4510(board, ds4510);
}

Lines releaseWithProbe(int board) {
    return probe(board, "IOS0") + closeBoard(board);
}

Lines report(int board, std::int32_t type) {
    return indexQuery(board) + typeQuery(board, type);
}

} // namespace vexa::e2e
