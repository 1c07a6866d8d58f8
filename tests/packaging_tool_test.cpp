// What the installed programs carry besides themselves, checked against the programs: every
// option a program's --help prints is in its man page, in the README's text about the program and
// in its bash completion; the completion offers choices and file names; and the file-type
// definitions make the desktop's own type lookup name the outline graph type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"

namespace orvo::test {
namespace {

#ifdef ORVO_PACKAGING_DIR

struct Program {
    std::string name, binary, manPage, completion;
};

// The programs this build made, with their generated man page and completion (programs.tsv).
std::vector<Program> builtPrograms() {
    std::vector<Program> programs;
    std::istringstream table(readWholeFile(std::string(ORVO_PACKAGING_DIR) + "/programs.tsv"));
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        Program p;
        std::getline(fields, p.name, '\t');
        std::getline(fields, p.binary, '\t');
        std::getline(fields, p.manPage, '\t');
        std::getline(fields, p.completion, '\t');
        if (!p.name.empty()) programs.push_back(p);
    }
    return programs;
}

// One option of a --help text: all its spellings ("-o", "--output").
using Option = std::vector<std::string>;

// The options of the "Options:" section of a --help text: lines "  -x,--name [TYPE] text".
std::vector<Option> helpOptions(const std::string& help) {
    std::vector<Option> options;
    std::istringstream lines(help);
    std::string line;
    bool inOptions = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == ':' && line[0] != ' ') {
            inOptions = line == "Options:";
            continue;
        }
        if (!inOptions || !line.starts_with("  -")) continue;
        const std::string names = line.substr(2, line.find(' ', 2) - 2);
        Option option;
        std::istringstream spellings(names);
        std::string name;
        while (std::getline(spellings, name, ',')) option.push_back(name);
        options.push_back(option);
    }
    return options;
}

bool isNameByte(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// Whether `name` occurs in `text` as a whole word (not as part of a longer option).
bool mentions(const std::string& text, const std::string& name) {
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const bool startsWord = at == 0 || !isNameByte(text[at - 1]);
        const size_t end = at + name.size();
        const bool endsWord = end == text.size() || !isNameByte(text[end]);
        if (startsWord && endsWord) return true;
    }
    return false;
}

// The man page source as plain text: roff's escaped minus signs and font changes removed.
std::string manText(const std::string& roff) {
    std::string text;
    for (size_t i = 0; i < roff.size(); ++i) {
        if (roff[i] == '\\' && i + 1 < roff.size()) {
            const char next = roff[i + 1];
            if (next == '-') {
                text += '-';
                ++i;
            } else if (next == 'f' && i + 2 < roff.size()) {
                i += 2;  // \fB, \fI, \fR, \fP
            } else if (next == '/' || next == ',' || next == '&') {
                ++i;
            } else {
                text += roff[i];
            }
        } else {
            text += roff[i];
        }
    }
    return text;
}

// The README's text about a program: the viewer's own section for `orvo`; for a tool, the
// opening paragraph of the Tools section (options every tool shares) with the tool's entry
// there, and any section whose heading names the tool (`orvo-import`).
std::string readmeSection(const std::string& readme, const std::string& program) {
    // The section that starts at the heading line beginning at `start`, to the next heading of
    // the same or a higher level.
    auto sectionFrom = [&](size_t start) {
        const size_t level = readme.find_first_not_of('#', start + 1) - (start + 1);
        size_t end = readme.find('\n', start + 1);
        while (end != std::string::npos) {
            const size_t hashes = readme.find_first_not_of('#', end + 1) - (end + 1);
            if (hashes > 0 && hashes <= level && readme[end + 1 + hashes] == ' ') break;
            end = readme.find('\n', end + 1);
        }
        return readme.substr(start, end == std::string::npos ? std::string::npos : end - start);
    };
    auto sectionAt = [&](const std::string& heading) {
        const size_t start = readme.find("\n## " + heading + "\n");
        return start == std::string::npos ? std::string() : sectionFrom(start);
    };
    if (program == "orvo") return sectionAt("Using the viewer");

    std::string text;
    const std::string tools = sectionAt("Tools");
    const size_t entry = tools.find("\n- `" + program + " ");
    if (entry != std::string::npos) {
        const size_t next = tools.find("\n- ", entry + 1);
        const size_t paragraphEnd = tools.find("\n\n", entry + 1);
        const size_t end = std::min(next, paragraphEnd);
        text += tools.substr(entry, end == std::string::npos ? std::string::npos : end - entry);
    }
    for (size_t heading = readme.find("\n#"); heading != std::string::npos;
         heading = readme.find("\n#", heading + 1)) {
        const std::string line = readme.substr(heading, readme.find('\n', heading + 1) - heading);
        if (line.find("`" + program + "`") != std::string::npos) text += sectionFrom(heading);
    }
    // A tool the README does not describe has no section at all.
    if (!text.empty()) text += tools.substr(0, tools.find("\n- "));
    return text;
}

// Runs bash with the program's completion loaded and COMP_WORDS set to `words` (the last one is
// the word being completed); returns the offered completions, one a line, sorted.
std::vector<std::string> complete(const Program& program, const std::vector<std::string>& words,
                                  const std::filesystem::path& directory) {
    std::string script = "cd '" + directory.string() + "' && source '" + program.completion +
                         "' && function=$(complete -p " + program.name +
                         " | sed -E 's/.* -F ([^ ]+) .*/\\1/') && COMP_WORDS=(";
    for (const std::string& w : words) script += "'" + w + "' ";
    script += ") && COMP_CWORD=" + std::to_string(words.size() - 1) +
              " && COMP_LINE=\"${COMP_WORDS[*]}\" && \"$function\" " + program.name +
              " && printf '%s\\n' \"${COMPREPLY[@]}\"";
    const ToolRun run = runTool("/bin/bash", {"-c", script});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> offered;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) offered.push_back(line);
    std::sort(offered.begin(), offered.end());
    return offered;
}

TEST(PackagingTest, EveryOptionOfEveryProgramIsInItsManPageTheReadmeAndItsCompletion) {
    const std::vector<Program> programs = builtPrograms();
    std::vector<std::string> names;
    for (const Program& p : programs) names.push_back(p.name);
    // Every build with the tools makes these; the viewer and the rest come with their options.
    for (const char* always : {"orvo-inspect", "orvo-gen"})
        EXPECT_NE(std::find(names.begin(), names.end(), always), names.end()) << always;

    const std::string readme = readWholeFile(std::string(ORVO_SOURCE_DIR) + "/README.md");
    TempDir scratch;
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        const ToolRun help = runTool(program.binary, {"--help"}, {"ASAN_OPTIONS=detect_leaks=0"});
        ASSERT_EQ(help.status, 0) << help.err;
        const std::vector<Option> options = helpOptions(help.out);
        ASSERT_GE(options.size(), 2u) << help.out;  // at least --help and --version

        const std::string man = manText(readWholeFile(program.manPage));
        ASSERT_FALSE(man.empty()) << program.manPage;
        std::string title = program.name;
        for (char& c : title) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(man.find(".TH " + title + " \"1\""), std::string::npos)
            << "not a section 1 page of " << program.name;
        const std::string readmeText = readmeSection(readme, program.name);
        EXPECT_FALSE(readmeText.empty()) << "the README says nothing about " << program.name;
        const std::vector<std::string> offered =
            complete(program, {program.name, "-"}, scratch.path());

        for (const Option& option : options) {
            for (const std::string& name : option) {
                EXPECT_TRUE(mentions(man, name)) << name << " is not in " << program.manPage;
                EXPECT_TRUE(std::binary_search(offered.begin(), offered.end(), name))
                    << name << " is not completed";
                // The README names the long spelling (or the short one when there is no other).
                if (name.starts_with("--") || option.size() == 1) {
                    EXPECT_TRUE(mentions(readmeText, name))
                        << name << " is not in the README's text about " << program.name;
                }
            }
        }
    }
}

TEST(PackagingTest, CompletionOffersChoicesAndFileNames) {
    const std::vector<Program> programs = builtPrograms();
    TempDir scratch;
    writeWholeFile(scratch / "big-site.graph", "0 a://h/ 0 html main\n");
    writeWholeFile(scratch / "notes.txt", "");
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        // A word that is not an option is a file name (every program takes files).
        EXPECT_EQ(complete(program, {program.name, "big"}, scratch.path()),
                  std::vector<std::string>{"big-site.graph"});
    }
    auto snapshot = std::find_if(programs.begin(), programs.end(),
                                 [](const Program& p) { return p.name == "orvo-snapshot"; });
    if (snapshot != programs.end()) {
        EXPECT_EQ(complete(*snapshot, {"orvo-snapshot", "--scheme", ""}, scratch.path()),
                  (std::vector<std::string>{"0", "1", "2"}));
        EXPECT_EQ(complete(*snapshot, {"orvo-snapshot", "-o", "no"}, scratch.path()),
                  std::vector<std::string>{"notes.txt"});
        // An id is not a file name: nothing is offered for it.
        EXPECT_TRUE(complete(*snapshot, {"orvo-snapshot", "--goto", "b"}, scratch.path()).empty());
    }
    auto gen = std::find_if(programs.begin(), programs.end(),
                            [](const Program& p) { return p.name == "orvo-gen"; });
    ASSERT_NE(gen, programs.end());
    EXPECT_TRUE(complete(*gen, {"orvo-gen", "--nodes", ""}, scratch.path()).empty());
    EXPECT_EQ(complete(*gen, {"orvo-gen", "--se"}, scratch.path()),
              std::vector<std::string>{"--seed"});
}

TEST(PackagingTest, TheFileTypeDefinitionNamesOutlineGraphsByNameAndByContent) {
    // A private copy of the shared database with our definitions, as the package installs them.
    TempDir data;
    std::filesystem::create_directories(data / "mime/packages");
    std::filesystem::copy_file(std::string(ORVO_SOURCE_DIR) + "/packaging/orvo-mime.xml",
                               data / "mime/packages/orvo.xml");
    const ToolRun update =
        runTool("/usr/bin/update-mime-database", {(data / "mime").string()});
    ASSERT_EQ(update.status, 0) << update.err;

    TempDir files;
    const std::string site = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
    std::filesystem::copy_file(site, files / "crawl-without-extension");
    writeWholeFile(files / "starts-with-position",
                   "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n");
    writeWholeFile(files / "a-list", "0 apples\n1 pears\n");
    writeWholeFile(files / "links.graphml",
                   "<?xml version=\"1.0\"?>\n<graphml xmlns=\"http://graphml.graphdrawing.org/"
                   "xmlns\"><graph edgedefault=\"directed\"/></graphml>\n");
    writeWholeFile(files / "sitemap.xml",
                   "<?xml version=\"1.0\"?>\n<urlset xmlns=\"http://www.sitemaps.org/schemas/"
                   "sitemap/0.9\"><url><loc>http://h/</loc></url></urlset>\n");

    const std::vector<std::string> environment{"XDG_DATA_HOME=" + data.path(),
                                               "XDG_DATA_DIRS=/usr/share",
                                               "XDG_CURRENT_DESKTOP",
                                               "DESKTOP_SESSION",
                                               "KDE_FULL_SESSION",
                                               "GNOME_DESKTOP_SESSION_ID"};
    auto typeOf = [&](const std::string& path) {
        const ToolRun run = runTool("/usr/bin/xdg-mime", {"query", "filetype", path}, environment);
        EXPECT_EQ(run.status, 0) << path << ": " << run.err;
        std::string type = run.out;
        while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back())))
            type.pop_back();
        return type;
    };
    EXPECT_EQ(typeOf(site), "application/x-orvo-graph");
    EXPECT_EQ(typeOf(files / "crawl-without-extension"), "application/x-orvo-graph");
    EXPECT_EQ(typeOf(files / "starts-with-position"), "application/x-orvo-graph");
    EXPECT_EQ(typeOf(files / "a-list"), "text/plain");  // a level and a word, but no address
    EXPECT_EQ(typeOf(files / "links.graphml"), "application/x-graphml+xml");
    EXPECT_EQ(typeOf(files / "sitemap.xml"), "application/x-sitemap+xml");

    // The desktop entry offers the viewer for each of these types, several files at once.
    const std::string desktop = readWholeFile(std::string(ORVO_SOURCE_DIR) + "/shell/orvo.desktop");
    for (const char* type : {"application/x-orvo-graph", "application/x-graphml+xml",
                             "text/vnd.graphviz", "text/csv", "application/x-sitemap+xml"})
        EXPECT_TRUE(mentions(desktop, type)) << type;
    EXPECT_NE(desktop.find("\nExec=orvo %F\n"), std::string::npos);
}

#else

TEST(PackagingTest, EveryOptionOfEveryProgramIsInItsManPageTheReadmeAndItsCompletion) {
    GTEST_SKIP() << "configured with -DORVO_PACKAGING=OFF: no man pages or completions";
}

#endif

}  // namespace
}  // namespace orvo::test
