// What every command-line tool does with its command line: --help and --version end the run
// with status 0; a usage error (an unknown option, a missing or bad value) prints the program's
// name and a message that names the option, and ends the run with status 2.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace orvo {

/// Exit status of every tool for a command line it cannot use.
constexpr int kExitUsage = 2;

/// Parses the command line; nullopt when the run goes on, else the status to exit with.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        // A required argument is checked before the words nobody took: an unknown option next
        // to a missing file is the option the user got wrong.
        std::string message = e.what();
        const std::vector<std::string> unknown = app.remaining();
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && !unknown.empty()) {
            message = "unknown option " + unknown.front();
            for (size_t i = 1; i < unknown.size(); ++i) message += " " + unknown[i];
        }
        std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n",
                     app.get_name().c_str(), message.c_str());
        return kExitUsage;
    }
}

}  // namespace orvo
