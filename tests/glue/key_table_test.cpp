// The shortcut table: every key command is listed once, every View menu item names a key of the
// table, and the viewer's page of the manual carries the very list that Help > Keyboard Shortcuts
// and the About box show.
#include "glue/key_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "tests/test_files.h"

namespace orvo {
namespace {

/// The single characters a "keys" column names: "b / B" names b and B, "0 .. 9" the digits.
std::set<char> keysNamed(const std::string& keys) {
    std::set<char> named;
    if (keys == "0 .. 9") {
        for (char c = '0'; c <= '9'; ++c) named.insert(c);
        return named;
    }
    std::istringstream words(keys);
    std::string word;
    while (words >> word) {
        if (word.size() == 1 && word != "/") named.insert(word[0]);
    }
    return named;
}

TEST(KeyTableTest, EveryKeyIsListedOnceAndEveryMenuItemHasItsKey) {
    // The keys the view's commands answer to, each listed once and nothing else listed.
    std::string commands = "0123456789*rlLbBOPsKCgMGReomnNhiujvkwScf", listed, inMenu;
    for (const ShortcutSection& s : shortcutSections()) {
        if (std::string(s.title) != "Keys (in the view)") continue;
        for (const Shortcut& e : s.entries) {
            for (char c : keysNamed(e.keys)) listed += c;
        }
    }
    std::sort(commands.begin(), commands.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, commands);
    // Every command but the digits (the generation-limit submenu) has one item of its own.
    for (const KeyMenuEntry& e : keyMenuEntries()) {
        inMenu += e.key;
        EXPECT_EQ(keyMenuLabel(e), std::string(e.label) + " (" + e.key + ")");
    }
    std::sort(inMenu.begin(), inMenu.end());
    EXPECT_EQ(inMenu,
              commands.substr(0, commands.find('0')) + commands.substr(commands.find('9') + 1));
}

TEST(KeyTableTest, TheManualCarriesTheShortcutList) {
    const std::string readme =
        testing::readWholeFile(std::string(ORVO_SOURCE_DIR) + "/docs/viewer.md");
    const std::string text = shortcutsText();
    EXPECT_NE(readme.find("```\n" + text + "```\n"), std::string::npos)
        << "docs/viewer.md should hold this list in a code block:\n"
        << text;
    // Aligned: every action starts in the same column.
    std::istringstream lines(text);
    std::string line;
    size_t column = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] != ' ') continue;
        const size_t at = line.find_first_not_of(' ', line.find("  ", 2));
        if (column == 0) column = at;
        EXPECT_EQ(at, column) << line;
    }
}

}  // namespace
}  // namespace orvo
