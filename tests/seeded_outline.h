// A seeded random outline for the tests that compare two ways of reading the same text.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace orvo::testing {

// An outline shaped like a crawled site and then roughened: repeated ids (moves and non-tree
// links), level jumps and returns, blanks, tabs, zero bytes, over-long and short lines.
inline std::string randomOutline(unsigned seed, int records, bool withNoise) {
    std::mt19937 rng(seed);
    const char* parts[] = {"a", "b", "c", "news", "img", "x.html", "y.gif", "z"};
    auto randomId = [&] {
        std::string id = "http://h" + std::to_string(rng() % 3) + "/";
        const int depth = static_cast<int>(rng() % 5);
        for (int i = 0; i < depth; ++i) {
            id += parts[rng() % 8];
            if (i + 1 < depth || rng() % 2) id += '/';
        }
        return id;
    };
    std::vector<std::string> seen;
    std::string out;
    int level = 0;
    for (int r = 0; r < records; ++r) {
        const unsigned pick = rng() % 100;
        if (r > 0) {
            if (pick < 40) {
                ++level;
            } else if (pick < 45) {
                level += 2 + static_cast<int>(rng() % 3);  // a jump: one level down only
            } else if (pick < 75) {
                level -= static_cast<int>(rng() % 3);
            } else if (pick < 78) {
                level = static_cast<int>(rng() % 3) - 1;  // back to the top, or above it
            }
        }
        if (level > 12) level = 12;
        const bool repeat = !seen.empty() && rng() % 3 == 0;
        const std::string id = repeat ? seen[rng() % seen.size()] : randomId();
        if (!repeat) seen.push_back(id);
        const std::string sep = withNoise && rng() % 10 == 0 ? " \t " : " ";
        std::string line = std::string(static_cast<size_t>(level > 0 ? level : 0), ' ') +
                           std::to_string(level) + sep + id + sep +
                           std::to_string(static_cast<int>(rng() % 7) - 2) + " x";
        if (withNoise) {
            const unsigned noise = rng() % 60;
            if (noise == 0) line = "";
            if (noise == 1) line = "   ";
            if (noise == 2) line = std::to_string(level);
            if (noise == 3) line.append(1100, 'w');  // over the line limit: dropped whole
            if (noise == 4) line.insert(line.size() - 1, 1, '\0');
            if (noise == 5) line = "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
            if (noise == 7) line = std::to_string(level) + " " + id;  // no placeholder
        }
        out += line;
        out += '\n';
    }
    return out;
}

}  // namespace orvo::testing
