// orvo: the desktop viewer. Parses --help, --version and the graph files to open, then runs the
// wxWidgets application.
#include <sys/wait.h>
#include <unistd.h>
#include <wx/init.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/draw_process.h"
#include "render/gl_surface.h"
#include "shell/orvo_app.h"

#ifndef ORVO_VERSION
#define ORVO_VERSION "2.0.0"
#endif

namespace {

void reportCannotOpen(const std::string& file, int error) {
    std::fprintf(stderr, "orvo: cannot open \"%s\" in a new window: %s\n", file.c_str(),
                 std::strerror(error));
}

// Starts another viewer on `file` in a process of its own. A desktop that opens several selected
// files passes them all to one start; each file gets a window, and so a process, of its own. The
// viewer is the grandchild: the child exits at once and is reaped here, so that the new viewer
// belongs to init and no exited process is left behind while this one runs.
void openInViewerOfItsOwn(const char* program, const std::string& gl, const std::string& file) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        reportCannotOpen(file, errno);
        return;
    }
    if (child == 0) {
        const pid_t viewer = fork();
        if (viewer == 0) {
            // "--": a file whose name starts with a dash is still a file.
            const char* argv[] = {program, "--gl", gl.c_str(), "--", file.c_str(), nullptr};
            execv("/proc/self/exe", const_cast<char* const*>(argv));
            reportCannotOpen(file, errno);
            _exit(127);
        }
        if (viewer < 0) reportCannotOpen(file, errno);
        _exit(viewer < 0 ? 1 : 0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    orvo::keepHeapForDrawing();

    CLI::App cli{
        "orvo: an interactive viewer for the link structure of web sites, laid out in "
        "hyperbolic space.",
        "orvo"};
    std::vector<std::string> files;
    cli.add_option("FILE", files, "graph files, or http:// and https:// addresses to crawl, to open at start-up, "
                   "each in a window of its own");
    std::string gl = "auto";
    cli.add_option("--gl", gl,
                   "the GL drawing path: legacy (OpenGL 1.1 fixed functions), modern (shaders and "
                   "buffers on OpenGL 3.3 core or OpenGL ES 3.0), or auto (modern where the window "
                   "system offers it, else legacy); default: auto")
        ->check(CLI::IsMember({"auto", "legacy", "modern"}));
    cli.set_version_flag("--version", std::string("orvo ") + ORVO_VERSION);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return cli.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        // A command line the viewer cannot use: status 2, as for every tool.
        std::fprintf(stderr, "orvo: %s\nRun with --help for more information.\n", e.what());
        return 2;
    }

    for (size_t i = 1; i < files.size(); ++i) openInViewerOfItsOwn(argv[0], gl, files[i]);

    // Scroll bars that stay drawn: GTK's overlay bars show only while the pointer moves over
    // them, and a legend cut off at the window's bottom would give no sign that more rows
    // follow. A user's own choice in the environment stands.
    ::setenv("GTK_OVERLAY_SCROLLING", "0", 0);

    // The toolkit sees only the program name: the options are ours.
    auto* app = new COrvoApp;
    app->setStartFile(files.empty() ? std::string() : files.front());
    orvo::GlChoice glChoice = orvo::GlChoice::Auto;
    orvo::parseGlChoice(gl, glChoice);  // checked by the option above
    app->setGlChoice(glChoice);
    wxApp::SetInstance(app);
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    return wxEntry(toolkitArgc, toolkitArgv);
}
