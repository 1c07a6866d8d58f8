// orvo: the desktop viewer. Parses --help, --version and an optional graph file, then runs the
// wxWidgets application.
#include <wx/init.h>

#include <CLI/CLI.hpp>
#include <string>

#include "platform/draw_process.h"
#include "shell/orvo_app.h"

#ifndef ORVO_VERSION
#define ORVO_VERSION "2.0.0"
#endif

int main(int argc, char** argv) {
    orvo::keepHeapForDrawing();

    CLI::App cli{
        "orvo: an interactive viewer for the link structure of web sites, laid out in "
        "hyperbolic space.",
        "orvo"};
    std::string file;
    cli.add_option("FILE", file, "graph file to open at start-up");
    cli.set_version_flag("--version", std::string("orvo ") + ORVO_VERSION);
    CLI11_PARSE(cli, argc, argv);

    // The toolkit sees only the program name: the options are ours.
    auto* app = new COrvoApp;
    app->setStartFile(file);
    wxApp::SetInstance(app);
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    return wxEntry(toolkitArgc, toolkitArgv);
}
