// Every list of the words of a settings text names exactly the words the parser
// accepts: the usage text, the manual, the shell completion and the fuzz dictionary.
// The files are read from the source tree (VEXA_SOURCE_DIR).

#include "app/CommandLine.h"
#include "gpio/SettingWords.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vexa {
namespace {

using Words = std::set<std::string>;

Words parserWords() {
    Words words = {settings::kDefault};
    words.insert(std::begin(settings::kDipSwitch), std::end(settings::kDipSwitch));
    for (const settings::Word& word : settings::kWords) {
        words.insert({word.shortForm, word.longForm});
    }
    return words;
}

// The three-word forms' words, by kind.
std::set<Words> parserKinds() {
    std::map<unsigned, Words> byKind;
    for (const settings::Word& word : settings::kWords) {
        byKind[word.kind].insert({word.shortForm, word.longForm});
    }
    std::set<Words> kinds;
    for (const auto& entry : byKind) {
        kinds.insert(entry.second);
    }
    return kinds;
}

std::string sourceFile(const std::string& relative) {
    std::ifstream stream(std::string(VEXA_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    if (text.str().empty()) {
        ADD_FAILURE() << "cannot read " << relative;
    }
    return text.str();
}

using test::lines;

Words blankSeparated(const std::string& text) {
    std::istringstream stream(text);
    Words words;
    for (std::string word; stream >> word;) {
        words.insert(word);
    }
    return words;
}

// What `text` holds between each pair of double quotes.
std::vector<std::string> quotedParts(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t open = text.find('"'); open != std::string::npos; open = text.find('"', open + 1)) {
        const std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos) {
            break;
        }
        parts.push_back(text.substr(open + 1, close - open - 1));
        open = close;
    }
    return parts;
}

// The quoted words of the usage text: "a|b" gives both, "in[verted]" gives "in" and
// "inverted". "all" names banks, not settings.
Words usageWords() {
    std::FILE* file = std::tmpfile();
    printUsage("vexa-gpio", file);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    std::fclose(file);
    Words words;
    for (const std::string& part : quotedParts(text)) {
        std::istringstream alternatives(part);
        for (std::string word; std::getline(alternatives, word, '|');) {
            const std::size_t bracket = word.find('[');
            if (bracket != std::string::npos && word.back() == ']') {
                words.insert(word.substr(0, bracket));
                word = word.substr(0, bracket) + word.substr(bracket + 1, word.size() - bracket - 2);
            }
            words.insert(word);
        }
    }
    words.erase("all");
    return words;
}

// The item tags of the manual's SETTINGS section: ".BR ds \", \" differential".
Words manualWords() {
    const std::string manual = sourceFile("doc/vexa-gpio.1");
    const std::size_t start = manual.find("\n.SH SETTINGS\n");
    const std::string section = manual.substr(start, manual.find("\n.SH ", start + 1) - start);
    Words words;
    bool tag = false;
    for (const std::string& line : lines(section)) {
        if (tag) {
            std::istringstream stream(line);
            std::string word;
            stream >> word; // the font macro
            while (stream >> word) {
                if (word.front() != '"') {
                    words.insert(word);
                }
            }
        }
        tag = line == ".TP" || line == ".TQ";
    }
    return words;
}

// The value of the completion script's variable, or of each line of its array.
std::vector<std::string> completionValues(const std::string& name) {
    std::vector<std::string> values;
    bool inArray = false;
    for (const std::string& line : lines(sourceFile("completion/vexa-gpio.bash"))) {
        if (inArray) {
            if (line == ")") {
                break;
            }
            values.push_back(quotedParts(line).at(0));
        } else if (test::startsWith(line, name + "=(")) {
            inArray = true;
        } else if (test::startsWith(line, name + "=")) {
            return {quotedParts(line).at(0)};
        }
    }
    return values;
}

// The dictionary's entries that are words of lower-case letters and hyphens.
Words dictionaryWords() {
    Words words;
    for (const std::string& line : lines(sourceFile("fuzz/words.dict"))) {
        if (line.size() > 2 && line.front() == '"' && line.back() == '"' &&
            line.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", 1) == line.size() - 1 && line[1] != '-') {
            words.insert(line.substr(1, line.size() - 2));
        }
    }
    return words;
}

TEST(SettingWords, EveryListNamesExactlyTheParsersWords) {
    const Words expected = parserWords();
    EXPECT_EQ(usageWords(), expected) << "the usage text";
    EXPECT_EQ(manualWords(), expected) << "doc/vexa-gpio.1, section SETTINGS";
    EXPECT_EQ(dictionaryWords(), expected) << "fuzz/words.dict";

    const std::vector<std::string> single = completionValues("_vexa_gpio_single_settings");
    ASSERT_EQ(single.size(), 1u);
    std::set<Words> kinds;
    Words completion = blankSeparated(single.front());
    for (const std::string& kind : completionValues("_vexa_gpio_setting_kinds")) {
        kinds.insert(blankSeparated(kind));
        const Words words = blankSeparated(kind);
        completion.insert(words.begin(), words.end());
    }
    EXPECT_EQ(completion, expected) << "completion/vexa-gpio.bash";
    EXPECT_EQ(kinds, parserKinds()) << "completion/vexa-gpio.bash: one line per setting";
}

} // namespace
} // namespace vexa
