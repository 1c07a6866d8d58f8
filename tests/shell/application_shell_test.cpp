// The real `orvo` program on an X display, driven like a person would drive it (xdotool):
// start with the bundled site, click the centre node, type commands, open a second file through
// the File menu's dialog, make a new document, and quit through the File menu.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/png_image.h"
#include "tests/crawl/site_server.h"
#include "tests/shell/x_screen.h"
#include "tests/test_time.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

using namespace std::chrono_literals;
using testing::scaled;
using testing::waitUntil;

const std::string kSite = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
const std::string kWorked = std::string(ORVO_SOURCE_DIR) + "/examples/worked-example.graph";

/// Output of a shell command (its standard output, trailing line end removed).
std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first window that `xdotool search` finds with these options, polled for up to `seconds`
// (scaled). Polled rather than one `search --sync`: a search gives up at once, finding nothing,
// when another window closes while it looks, as happens on a busy machine.
std::string waitForWindowMatching(const std::string& options, int seconds) {
    const std::string command = "xdotool search " + options + " 2>/dev/null | head -n 1";
    if (seconds == 0) return shell(command);
    std::string found;
    waitUntil([&] { return !(found = shell(command)).empty(); }, std::chrono::seconds(seconds),
              [] { std::this_thread::sleep_for(100ms); });
    return found;
}

/// The first window of the process whose title matches the pattern, waiting up to `seconds`
/// (scaled; 0: look once, without waiting); "" when none.
std::string waitForWindow(pid_t pid, const std::string& pattern, int seconds = 20) {
    return waitForWindowMatching(
        "--all --onlyvisible --pid " + std::to_string(pid) + " --name '" + pattern + "'", seconds);
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry windowGeometry(const std::string& window) {
    Geometry g;
    std::istringstream lines(shell("xdotool getwindowgeometry --shell " + window));
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") g.x = value;
        if (key == "Y") g.y = value;
        if (key == "WIDTH") g.width = value;
        if (key == "HEIGHT") g.height = value;
    }
    return g;
}


/// The running program, with its own configuration folder.
class Program {
public:
    Program(const std::string& configHome, const std::vector<std::string>& arguments) {
        output_ = configHome + "/orvo.log";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            std::freopen(output_.c_str(), "w", stdout);
            std::freopen(output_.c_str(), "a", stderr);
            std::vector<char*> argv{const_cast<char*>(ORVO_APP)};
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(ORVO_APP, argv.data());
            std::_Exit(127);
        }
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    /// The exit status, waiting up to twenty seconds (scaled); -1 when it is still running.
    int waitForExit() {
        int status = 0;
        if (!waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 20s)) return -1;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    /// CPU time used so far, in clock ticks.
    long cpuTicks() const {
        std::istringstream stat(readFile("/proc/" + std::to_string(pid_) + "/stat"));
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i) {
            if (i == 14 || i == 15) ticks += std::atol(field.c_str());
        }
        return ticks;
    }
    std::string output() const { return readFile(output_); }
    /// A visible window of this program with exactly this title, waiting up to `seconds`
    /// (the name search can also report other windows of the program).
    std::string titled(const std::string& title, int seconds = 10) const {
        for (int i = 0; i <= seconds * 10; ++i) {
            std::istringstream ids(shell("xdotool search --onlyvisible --pid " +
                                         std::to_string(pid_) + " --name '.' 2>/dev/null"));
            std::string id;
            while (ids >> id) {
                if (shell("xdotool getwindowname " + id + " 2>/dev/null") == title) return id;
            }
            if (i < seconds * 10) std::this_thread::sleep_for(100ms);
        }
        return "";
    }
    /// The first window of this program whose title matches, waiting up to `seconds`.
    std::string window(const std::string& pattern, int seconds = 20) const {
        return waitForWindow(pid_, pattern, seconds);
    }
    /// Waits until the program has used no CPU for half a second; false when it never rests.
    bool waitUntilIdle() const {
        long last = cpuTicks();
        return waitUntil(
            [&] {
                std::this_thread::sleep_for(500ms);
                const long now = cpuTicks();
                const bool rested = now == last;
                last = now;
                return rested;
            },
            20s);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string output_;
};

using Rgb = std::array<uint8_t, 3>;

bool near(const Rgb& p, int r, int g, int b, int tolerance = 3) {
    return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance &&
           std::abs(p[2] - b) <= tolerance;
}

long countColour(const ScreenImage& image, int r, int g, int b) {
    long n = 0;
    for (const Rgb& p : image.rgb) n += near(p, r, g, b, 2);
    return n;
}

/// Centre of the largest patch of exactly this colour (the biggest cube drawn in it).
bool largestPatch(const ScreenImage& image, const Rgb& colour, int& cx, int& cy) {
    std::vector<int> seen(image.rgb.size(), 0);
    long best = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const size_t start = static_cast<size_t>(y) * image.width + x;
            if (seen[start] || image.rgb[start] != colour) continue;
            std::vector<size_t> stack{start};
            seen[start] = 1;
            long count = 0, sx = 0, sy = 0;
            while (!stack.empty()) {
                const size_t i = stack.back();
                stack.pop_back();
                const int px = static_cast<int>(i % image.width),
                          py = static_cast<int>(i / image.width);
                ++count, sx += px, sy += py;
                const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
                for (int k = 0; k < 4; ++k) {
                    const int nx = px + dx[k], ny = py + dy[k];
                    if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height) continue;
                    const size_t j = static_cast<size_t>(ny) * image.width + nx;
                    if (!seen[j] && image.rgb[j] == colour) {
                        seen[j] = 1;
                        stack.push_back(j);
                    }
                }
            }
            if (count > best) {
                best = count;
                cx = static_cast<int>(sx / count);
                cy = static_cast<int>(sy / count);
            }
        }
    }
    return best > 0;
}

/// The ids of the program's shown windows (a menu that is open is one of them).
std::set<std::string> shownWindowIds(const Program& program) {
    std::istringstream found(shell("xdotool search --onlyvisible --pid " +
                                   std::to_string(program.pid()) + " --name '' 2>/dev/null"));
    std::set<std::string> ids;
    for (std::string id; found >> id;) ids.insert(id);
    return ids;
}

/// Opens the File menu of the window and picks the entry with this mnemonic ("x" is Exit, "1"
/// the first recent file), then waits until the menu has gone. A key that came before the
/// window or the menu took keys is lost, so it is pressed again while nothing has happened
/// (only the open menu takes the mnemonic, so a repeat cannot reach anything else).
void chooseFromFileMenu(const Program& program, const std::string& window,
                        const std::string& mnemonic) {
    const std::set<std::string> before = shownWindowIds(program);
    std::set<std::string> menu;
    auto lastPress = std::chrono::steady_clock::now() - 1h;
    const bool opened = waitUntil(
        [&] {
            for (const std::string& id : shownWindowIds(program))
                if (!before.count(id)) menu.insert(id);
            if (!menu.empty()) return true;
            if (std::chrono::steady_clock::now() - lastPress > scaled(3000ms)) {
                shell("xdotool windowfocus --sync " + window + " key alt+f");
                lastPress = std::chrono::steady_clock::now();
            }
            return false;
        },
        20s, [] { std::this_thread::sleep_for(100ms); });
    EXPECT_TRUE(opened) << "the File menu did not open";
    if (!opened) return;
    lastPress = std::chrono::steady_clock::now() - 1h;
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::set<std::string> shown = shownWindowIds(program);
            bool open = false;
            for (const std::string& id : menu) open = open || shown.count(id) > 0;
            if (!open) return true;
            if (std::chrono::steady_clock::now() - lastPress > scaled(2000ms)) {
                shell("xdotool key " + mnemonic);
                lastPress = std::chrono::steady_clock::now();
            }
            return false;
        },
        20s, [] { std::this_thread::sleep_for(100ms); }))
        << "the File menu did not close";
}

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvo-app-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        configHome = pattern;
    }
    void TearDown() override { shell("rm -rf '" + configHome + "'"); }

    ScreenImage shot(const Geometry& g) {
        ScreenImage image;
        EXPECT_TRUE(captureScreen(g.x, g.y, g.width, g.height, image));
        return image;
    }
    /// The window's picture once `shows` holds of it (the last one read when it never does).
    template <class Shows>
    ScreenImage shotWhen(const Geometry& g, Shows shows) {
        ScreenImage image;
        const bool held = waitUntil(
            [&] { return captureScreen(g.x, g.y, g.width, g.height, image) && shows(image); },
            20s, [] { std::this_thread::sleep_for(50ms); });
        EXPECT_TRUE(held) << "the window never showed what was waited for";
        return image;
    }
    /// Ctrl+O in the window, the path typed into the Open dialog, Return; false without dialog.
    bool openThroughDialog(const Program& program, const std::string& window,
                           const std::string& path) {
        shell("xdotool windowfocus --sync " + window + " key ctrl+o");
        const std::string dialog = program.window("^Open$");
        if (dialog.empty()) return false;
        // The file chooser takes typed keys only once it has set itself up, and shows nothing
        // outside that could be waited for. So the path is typed again, with longer pauses each
        // time, into its location field (Ctrl+L; Ctrl+A replaces what an earlier try left
        // there) for as long as the dialog stays up.
        for (int attempt = 1; attempt <= 6; ++attempt) {
            std::this_thread::sleep_for(scaled(500ms) * attempt);
            shell("xdotool windowfocus --sync " + dialog + " key ctrl+l ctrl+a");
            shell("xdotool type --delay 20 '" + path + "'");
            std::this_thread::sleep_for(scaled(400ms) * attempt);
            shell("xdotool key Return");
            if (waitUntil([&] { return program.titled("Open", 0).empty(); }, 5s,
                          [] { std::this_thread::sleep_for(200ms); }))
                return true;
        }
        return false;
    }
    /// The crawls of this test keep no delay between requests (the test server is local).
    void noCrawlDelay() {
        ASSERT_EQ(::mkdir((configHome + "/orvo").c_str(), 0700), 0);
        std::ofstream(configHome + "/orvo/orvo.conf") << "[Open\\ Web\\ Site]\nDelay=0\n";
    }
    /// Keys typed into the focused window.
    void type(const std::string& window, const std::string& text) {
        shell("xdotool windowfocus --sync " + window + " type --delay 60 '" + text + "'");
    }

    std::string configHome;
};

TEST_F(ApplicationTest, ViewClickKeysOpenNewAndExit) {
    Program orvo(configHome, {kSite});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    ASSERT_GT(frame.width, 200);

    // The top node: the biggest cyan ("html") cube, at the centre of the view; the boundary
    // sphere and image nodes (magenta) around it.
    int cx = 0, cy = 0;
    const ScreenImage start = shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy) &&
               countColour(image, 230, 179, 153) > 500 && countColour(image, 255, 0, 255) > 0;
    });
    ASSERT_TRUE(largestPatch(start, {0, 255, 255}, cx, cy));
    const int sphereBefore = countColour(start, 230, 179, 153);
    EXPECT_GT(sphereBefore, 500) << "the boundary sphere";
    EXPECT_GT(countColour(start, 255, 0, 255), 0) << "image nodes (magenta)";

    // Click it: it turns the selected colour.
    shell("xdotool mousemove --sync " + std::to_string(frame.x + cx) + " " +
          std::to_string(frame.y + cy) + " click 1");
    int sx = 0, sy = 0;
    const ScreenImage selected = shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {255, 255, 0}, sx, sy);
    });
    ASSERT_TRUE(largestPatch(selected, {255, 255, 0}, sx, sy)) << "no yellow node";
    EXPECT_LT(std::abs(sx - cx) + std::abs(sy - cy), 40) << "the selected node is not the clicked";

    // "s": the sphere goes; "m" twice: the second press hides images, text and the like.
    type(main, "s");
    shotWhen(frame, [&](const ScreenImage& image) {
        return countColour(image, 230, 179, 153) < sphereBefore / 20;
    });
    type(main, "mm");
    const ScreenImage hidden = shotWhen(
        frame, [&](const ScreenImage& image) { return countColour(image, 255, 0, 255) == 0; });
    EXPECT_GT(countColour(hidden, 255, 255, 0), 0) << "the selected page went too";

    // "R" twice: scheme 2, black background.
    const Rgb leftOfCentre = hidden.at(cx - 300, cy);
    EXPECT_TRUE(near(leftOfCentre, 255, 255, 255)) << int(leftOfCentre[0]);
    type(main, "RR");
    const ScreenImage dark = shotWhen(frame, [&](const ScreenImage& image) {
        return near(image.at(cx - 300, cy), 0, 0, 0) && near(image.at(cx, cy), 255, 255, 0);
    });
    EXPECT_TRUE(near(dark.at(cx, cy), 255, 255, 0)) << "the selected node on black";

    // An idle window uses no CPU: once refinement has ended, none at all for two seconds.
    ASSERT_TRUE(orvo.waitUntilIdle()) << "the window never stops using CPU";
    const long ticks = orvo.cpuTicks();
    std::this_thread::sleep_for(2000ms);
    const long idleTicks = orvo.cpuTicks() - ticks;
    std::printf("CPU while idle: %ld ticks of %ld per second over 2 s\n", idleTicks,
                ::sysconf(_SC_CLK_TCK));
    EXPECT_LE(idleTicks, 4);

    // File > Open (Ctrl+O), a path typed into the dialog, Return.
    ASSERT_TRUE(openThroughDialog(orvo, main, kWorked)) << "no Open dialog";
    const std::string second = orvo.window("^worked-example\\.graph - orvo$");
    ASSERT_FALSE(second.empty()) << orvo.output();
    int wx = 0, wy = 0;
    const ScreenImage worked = shotWhen(frame, [&](const ScreenImage& image) {
        return countColour(image, 255, 255, 0) == 0 && largestPatch(image, {0, 255, 255}, wx, wy);
    });
    EXPECT_TRUE(near(worked.at(cx - 300, cy), 0, 0, 0)) << "the colour scheme outlives a load";
    EXPECT_EQ(countColour(worked, 255, 255, 0), 0) << "the old selection is gone with its graph";
    EXPECT_TRUE(largestPatch(worked, {0, 255, 255}, wx, wy)) << "the new graph's html nodes";

    // New (Ctrl+N): only the title changes; the graph stays on view.
    shell("xdotool windowfocus --sync " + main + " key ctrl+n");
    EXPECT_FALSE(orvo.window("^Untitled - orvo$").empty());
    ASSERT_TRUE(orvo.waitUntilIdle());
    int nx = 0, ny = 0;
    EXPECT_TRUE(largestPatch(shot(frame), {0, 255, 255}, nx, ny)) << "the graph left the view";

    // File > Exit.
    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();

    // The recent-file list, most recent first, is in the user's configuration.
    const std::string config = readFile(configHome + "/orvo/orvo.conf");
    // (the configuration file escapes the blanks of a group name)
    EXPECT_NE(config.find("[Recent\\ File\\ List]"), std::string::npos) << config;
    EXPECT_NE(config.find("File1=" + kWorked), std::string::npos) << config;
    EXPECT_NE(config.find("File2=" + kSite), std::string::npos) << config;
}

/// How many pixels differ between two pictures of the same window.
long differingPixels(const ScreenImage& a, const ScreenImage& b) {
    if (a.rgb.size() != b.rgb.size()) return static_cast<long>(std::max(a.rgb.size(), b.rgb.size()));
    long n = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) n += a.rgb[i] != b.rgb[i];
    return n;
}

TEST_F(ApplicationTest, CtrlFFindsANodeByPartOfItsIdAndFliesToIt) {
    Program orvo(configHome, {kSite});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    // The top node (the biggest cyan cube) at the centre, nothing selected yet.
    int cx = 0, cy = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy) &&
               countColour(image, 230, 179, 153) > 500;
    });
    ASSERT_TRUE(orvo.waitUntilIdle()) << "the first picture is never finished";
    const ScreenImage start = shot(frame);
    ASSERT_TRUE(largestPatch(start, {0, 255, 255}, cx, cy)) << "the top node";
    ASSERT_EQ(countColour(start, 255, 255, 0), 0) << "a node is selected already";

    // The selected (yellow) node at the centre, in a picture that has come to rest.
    int sx = 0, sy = 0;
    ScreenImage last;
    auto selectedAtCentre = [&](const ScreenImage& image) {
        const bool rested = image.rgb == last.rgb;
        last = image;
        return rested && largestPatch(image, {255, 255, 0}, sx, sy) &&
               std::abs(sx - cx) + std::abs(sy - cy) < 30;
    };

    // Ctrl+F, part of a page's id, Enter: the page is selected and flown to the centre.
    shell("xdotool windowfocus --sync " + main + " key ctrl+f");
    const std::string dialog = orvo.titled("Find Node");
    ASSERT_FALSE(dialog.empty()) << "no Find Node dialog";
    shell("xdotool windowfocus --sync " + dialog + " type --delay 60 'example.org/FAQ.h'");
    shell("xdotool windowfocus --sync " + dialog + " key Return");
    EXPECT_TRUE(waitUntil([&] { return orvo.titled("Find Node", 0).empty(); }, 20s))
        << "the dialog stays open";
    const ScreenImage found = shotWhen(frame, selectedAtCentre);
    EXPECT_TRUE(largestPatch(found, {255, 255, 0}, sx, sy)) << "no selected node";
    EXPECT_LT(std::abs(sx - cx) + std::abs(sy - cy), 30) << "the found node is not at the centre";

    // Alt+Left: back to the top node, which becomes the selected node at the centre; the
    // picture around it is the top node's again, not the page's.
    shell("xdotool windowfocus --sync " + main + " key alt+Left");
    last = ScreenImage();
    const long pixels = static_cast<long>(found.rgb.size());
    const ScreenImage back = shotWhen(frame, [&](const ScreenImage& image) {
        return differingPixels(image, found) > pixels / 50 && selectedAtCentre(image);
    });
    EXPECT_GT(differingPixels(back, found), pixels / 50) << "the view did not go back";
    EXPECT_LT(std::abs(sx - cx) + std::abs(sy - cy), 30) << "the top node is not at the centre";

    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
}

TEST_F(ApplicationTest, FileExportPictureWritesTheViewAsAPngBesideTheGraph) {
    // The graph is opened from a folder of the test's own: the Save dialog starts there.
    const std::string graph = configHome + "/site.graph";
    std::filesystem::copy_file(kSite, graph);
    Program orvo(configHome, {graph});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    ASSERT_TRUE(orvo.waitUntilIdle());

    // File > Export Picture..., the window's size (the default), then the Save dialog's own
    // proposal: the graph's name with .png, in its folder. A dialog that has just come up may
    // not take keys yet, so Return is pressed again now and then while it stays.
    chooseFromFileMenu(orvo, main, "p");
    const std::string sizes = orvo.titled("Picture Size");
    ASSERT_FALSE(sizes.empty()) << "no size dialog";
    const auto pressReturnUntil = [&](const std::string& window, auto done) {
        return waitUntil(done, 30s, [&] {
            shell("xdotool windowfocus --sync " + window + " key Return 2>/dev/null");
            std::this_thread::sleep_for(300ms);
        });
    };
    EXPECT_TRUE(pressReturnUntil(sizes, [&] { return orvo.titled("Picture Size", 0).empty(); }));
    const std::string save = orvo.titled("Export Picture");
    ASSERT_FALSE(save.empty()) << "no Save dialog";
    const std::string picture = configHome + "/site.png";
    EXPECT_TRUE(pressReturnUntil(save, [&] { return std::filesystem::exists(picture); }))
        << orvo.output();
    EXPECT_TRUE(waitUntil([&] { return orvo.titled("Export Picture", 0).empty(); }, 20s));

    RgbaImage image;
    std::string error;
    ASSERT_TRUE(waitUntil([&] { return readPng(picture, image, error); }, 20s)) << error;
    long sphere = 0, html = 0;
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4) {
        const uint8_t* p = &image.pixels[i];
        sphere += std::abs(p[0] - 230) <= 3 && std::abs(p[1] - 179) <= 3 && std::abs(p[2] - 153) <= 3;
        html += p[0] == 0 && p[1] == 255 && p[2] == 255;
    }
    EXPECT_GT(sphere, 500) << "the boundary sphere";
    EXPECT_GT(html, 50) << "html pages";
    // The window's size: the view is the frame's client area less the bars.
    const Geometry frame = windowGeometry(main);
    EXPECT_LE(image.width, frame.width);
    EXPECT_GT(image.width, frame.width * 9 / 10);
    EXPECT_LT(image.height, frame.height);
    EXPECT_GT(image.height, frame.height / 2);

    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
}

TEST_F(ApplicationTest, AFileThatCannotBeOpenedIsReportedAndTheListOutlivesTheRun) {
    // A first run leaves the site in the recent-file list.
    {
        Program first(configHome, {kSite});
        const std::string main = first.window("^site\\.graph - orvo$");
        ASSERT_FALSE(main.empty()) << first.output();
        chooseFromFileMenu(first, main, "x");
        ASSERT_EQ(first.waitForExit(), 0);
    }
    const std::string missing = configHome + "/missing.graph";
    Program orvo(configHome, {missing});
    // The message box (titled "orvo", as the main window is until a document is made) takes
    // Return; pressed again until the empty document's window shows, in case a key came before
    // the box could take keys.
    ASSERT_FALSE(orvo.window("^orvo$").empty()) << "no message box";
    EXPECT_TRUE(waitUntil([&] { return !orvo.window("^Untitled - orvo$", 0).empty(); }, 20s, [] {
        shell("xdotool key Return");
        std::this_thread::sleep_for(300ms);
    })) << "the message box did not close";
    const std::string main = orvo.window("^Untitled - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    EXPECT_NE(orvo.output().find("Cannot open \"" + missing + "\": No such file or directory."),
              std::string::npos)
        << orvo.output();

    // The empty window says how to open a graph: a line of text across its middle, on an
    // otherwise plain ground.
    const Geometry frame = windowGeometry(main);
    const auto hintShown = [&](const ScreenImage& image) {
        const Rgb ground = image.at(image.width / 2, 5 * image.height / 6);
        int textColumns = 0;
        for (int x = 0; x < image.width; ++x) {
            for (int y = image.height * 2 / 5; y < image.height * 3 / 5; ++y) {
                if (image.at(x, y) != ground) {
                    ++textColumns;
                    break;
                }
            }
        }
        return textColumns > image.width / 4;
    };
    EXPECT_TRUE(hintShown(shotWhen(frame, hintShown))) << "no hint in the empty window";

    // The first entry of the recent-file list opens the site from the earlier run.
    chooseFromFileMenu(orvo, main, "1");
    EXPECT_FALSE(orvo.window("^site\\.graph - orvo$").empty()) << orvo.output();

    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0);
}

/// Feeds a named pipe with graph text, one piece at a time, then stays silent with the pipe
/// still open: a load from it never ends by itself, however fast or slow the machine, only by
/// its Cancel or by finish().
class SlowPipe {
public:
    explicit SlowPipe(const std::string& path) : path_(path) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        // Read and write: the open does not wait for a reader, and the reader's open does not
        // wait for us. Not inherited: a program the test starts must not hold a writer, or it
        // would never see the pipe's end.
        fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(fd_, 0);
        SiteOptions options;
        options.nodes = 20000;
        text_ = generateSiteGraph(options);
        feeder_ = std::thread([this] { feed(); });
    }
    ~SlowPipe() {
        stopFeeding();
        if (fd_ >= 0) ::close(fd_);
        ::unlink(path_.c_str());
    }
    /// Writes what is left of the graph and closes the pipe, so that the load can end.
    void finish() {
        stopFeeding();
        while (fed_ < text_.size()) {
            const ssize_t wrote = ::write(fd_, text_.data() + fed_, text_.size() - fed_);
            if (wrote > 0) {
                fed_ += static_cast<size_t>(wrote);
            } else {
                std::this_thread::sleep_for(10ms);  // full: the reader takes it in its time
            }
        }
        ::close(fd_);
        fd_ = -1;
    }

private:
    void feed() {
        while (!stop_ && fed_ < text_.size()) {
            const size_t piece = std::min<size_t>(16 * 1024, text_.size() - fed_);
            const ssize_t wrote = ::write(fd_, text_.data() + fed_, piece);
            if (wrote > 0) fed_ += static_cast<size_t>(wrote);
            std::this_thread::sleep_for(20ms);
        }
    }
    void stopFeeding() {
        stop_ = true;
        if (feeder_.joinable()) feeder_.join();
    }

    std::string path_;
    int fd_ = -1;
    std::string text_;
    size_t fed_ = 0;  // written by the feeder until it stops, then by finish()
    std::atomic<bool> stop_{false};
    std::thread feeder_;
};

TEST_F(ApplicationTest, ALongLoadShowsProgressAndTheViewKeepsRepainting) {
    // A load from a pipe lasts until the test lets it end, so the box is seen on any machine.
    // The pipe is reached through the recent-file list (the Open dialog takes regular files
    // only).
    const std::string slow = configHome + "/slow.graph";
    SlowPipe pipe(slow);
    ASSERT_EQ(::mkdir((configHome + "/orvo").c_str(), 0700), 0);
    std::ofstream(configHome + "/orvo/orvo.conf") << "[Recent\\ File\\ List]\nFile1=" << slow << "\n";
    Program orvo(configHome, {kSite});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    int cx = 0, cy = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy);
    });

    chooseFromFileMenu(orvo, main, "2");

    // The progress box comes up over the view; moved aside, the view repaints what it hid.
    const std::string progress = orvo.window("^orvo$");
    ASSERT_FALSE(progress.empty()) << "no progress shown";
    shell("xdotool windowmove --sync " + progress + " " +
          std::to_string(frame.x + frame.width + 20) + " 0");
    int rx = 0, ry = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, rx, ry) &&
               std::abs(rx - cx) + std::abs(ry - cy) < 10;
    });
    EXPECT_LT(std::abs(rx - cx) + std::abs(ry - cy), 10) << "the site is not on view while loading";
    EXPECT_TRUE(shell("xdotool getwindowname " + main) == "site.graph - orvo");

    pipe.finish();
    EXPECT_FALSE(orvo.window("^slow\\.graph - orvo$", 120).empty()) << orvo.output();
    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0);
}

/// The processes whose command line holds these arguments, in this order (by their /proc entries).
std::vector<pid_t> processesWithArguments(const std::vector<std::string>& arguments) {
    std::string argument;
    for (const std::string& a : arguments)
        argument += (argument.empty() ? "" : std::string(1, '\0')) + a;
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0) continue;
        const std::string commandLine = readFile(entry.path().string() + "/cmdline");
        if (commandLine.find('\0' + argument + '\0') != std::string::npos) pids.push_back(pid);
    }
    return pids;
}

// A web site's folder and an edge list open as graph files do: imported in memory, titled by
// their own names, kept in the recent list.
TEST_F(ApplicationTest, ASiteFolderAndAnEdgeListOpenAsGraphFilesDo) {
    const std::string site = configHome + "/docs";
    ASSERT_EQ(::mkdir(site.c_str(), 0700), 0);
    std::ofstream(site + "/index.html") << "<a href=page.html>page</a><img src=logo.png>";
    std::ofstream(site + "/page.html") << "<a href=index.html>home</a>";
    const std::string csv = configHome + "/crawl.csv";
    std::ofstream(csv) << "from,to\na,b\nb,c\nc,a\n";

    const std::pair<std::string, std::string> inputs[] = {{site, "^docs - orvo$"},
                                                          {csv, "^crawl\\.csv - orvo$"}};
    for (const auto& [input, title] : inputs) {
        SCOPED_TRACE(input);
        Program orvo(configHome, {input});
        const std::string main = orvo.window(title);
        ASSERT_FALSE(main.empty()) << orvo.output();
        chooseFromFileMenu(orvo, main, "x");
        EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    }
    const std::string config = readFile(configHome + "/orvo/orvo.conf");
    EXPECT_NE(config.find("File1=" + csv), std::string::npos) << config;
    EXPECT_NE(config.find("File2=" + site), std::string::npos) << config;
}

TEST_F(ApplicationTest, EachFurtherFileOpensInAWindowOfItsOwn) {
    // As a file manager starts the viewer on several selected files; the second one's name
    // starts with a dash, which is still a file name.
    const std::string dashed = configHome + "/-dashed.graph";
    std::filesystem::copy_file(kWorked, dashed);
    // The second viewer is started by the first with "--" before the file.
    const std::vector<std::string> secondArguments{"--", dashed};
    struct StopSecondViewer {
        std::vector<std::string> arguments;
        ~StopSecondViewer() {
            for (pid_t pid : processesWithArguments(arguments)) ::kill(pid, SIGTERM);
        }
    } stopSecondViewer{secondArguments};
    Program orvo(configHome, {kSite, dashed});
    const std::string first = orvo.window("^site\\.graph - orvo$");
    EXPECT_FALSE(first.empty()) << orvo.output();

    const std::string second =
        waitForWindowMatching("--all --onlyvisible --name '^-dashed\\.graph - orvo$'", 20);
    ASSERT_FALSE(second.empty()) << orvo.output();
    const pid_t secondPid = std::atoi(shell("xdotool getwindowpid " + second).c_str());
    EXPECT_GT(secondPid, 0);
    EXPECT_NE(secondPid, orvo.pid()) << "one window a process";
    EXPECT_EQ(processesWithArguments(secondArguments), std::vector<pid_t>{secondPid});

    chooseFromFileMenu(orvo, first, "x");
    EXPECT_EQ(orvo.waitForExit(), 0);
}

TEST_F(ApplicationTest, CancelInTheProgressBoxKeepsTheGraphOnView) {
    // The pipe is reached through the recent-file list (the Open dialog takes regular files
    // only); the framework alone would drop such an entry from the list instead of opening it.
    const std::string slow = configHome + "/slow.graph";
    SlowPipe pipe(slow);
    ASSERT_EQ(::mkdir((configHome + "/orvo").c_str(), 0700), 0);
    std::ofstream(configHome + "/orvo/orvo.conf") << "[Recent\\ File\\ List]\nFile1=" << slow << "\n";
    Program orvo(configHome, {kSite});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    int cx = 0, cy = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy);
    });

    chooseFromFileMenu(orvo, main, "2");
    // The main window's name matches "orvo" too, and so do the program's tooltips and menus
    // (a pointer left resting over the view by an earlier test shows one): the box is the
    // other window that is a dialog.
    const auto otherWindows = [&] {
        std::istringstream found(shell("xdotool search --onlyvisible --pid " +
                                       std::to_string(orvo.pid()) + " --name '^orvo$'"));
        std::vector<std::string> others;
        for (std::string w; found >> w;) {
            if (w != main && shell("xprop -id " + w + " _NET_WM_WINDOW_TYPE").find(
                                 "_NET_WM_WINDOW_TYPE_DIALOG") != std::string::npos) {
                others.push_back(w);
            }
        }
        return others;
    };
    std::vector<std::string> boxes;
    ASSERT_TRUE(waitUntil([&] { return !(boxes = otherWindows()).empty(); }, 30s))
        << "no progress shown";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(shell("xdotool getwindowname " + main), "site.graph - orvo");

    // Escape in the box is its Cancel. A box that has just come up may not take keys yet, so
    // Escape is pressed again now and then while it stays. The box goes, no message comes,
    // and the site stays on view under its own title.
    // A search can come back empty while windows come and go, so the box counts as gone only
    // when five searches in a row find none.
    auto lastPress = std::chrono::steady_clock::now() - 1h;
    int emptySearches = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            boxes = otherWindows();
            emptySearches = boxes.empty() ? emptySearches + 1 : 0;
            if (emptySearches >= 5) return true;
            if (boxes.empty()) return false;
            if (std::chrono::steady_clock::now() - lastPress > scaled(1000ms)) {
                shell("xdotool windowfocus --sync " + boxes[0] + " key Escape");
                lastPress = std::chrono::steady_clock::now();
            }
            return false;
        },
        30s, [] { std::this_thread::sleep_for(100ms); }))
        << "the progress box (or a message) is still up";
    int rx = 0, ry = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, rx, ry) &&
               std::abs(rx - cx) + std::abs(ry - cy) < 10;
    });
    EXPECT_LT(std::abs(rx - cx) + std::abs(ry - cy), 10) << "the site left the view";
    EXPECT_EQ(shell("xdotool getwindowname " + main), "site.graph - orvo");

    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    const std::string config = readFile(configHome + "/orvo/orvo.conf");
    // A cancelled load neither moves to the top of the list nor drops out of it.
    EXPECT_NE(config.find("File1=" + kSite), std::string::npos) << config;
    EXPECT_NE(config.find("File2=" + slow), std::string::npos) << config;
}

// A web address on the command line is crawled from the test site on 127.0.0.1 and shown under
// its own title; it is kept in the recent list like a file.
TEST_F(ApplicationTest, AWebAddressIsCrawledShownAndKeptInTheRecentList) {
    test::SiteServer server(configHome + "/server.log", {"--pages", "300"});
    ASSERT_TRUE(server.running());
    const std::string address = server.url("/gen/0.html");
    noCrawlDelay();
    Program orvo(configHome, {address});
    const std::string main = orvo.titled(address + " - orvo", 60);
    ASSERT_FALSE(main.empty()) << orvo.output();
    // The whole generated site was asked for, and the top page is on view (a cyan html cube).
    EXPECT_GE(server.requests().size(), 300u);
    int cx = 0, cy = 0;
    shotWhen(windowGeometry(main), [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy);
    });
    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    const std::string config = readFile(configHome + "/orvo/orvo.conf");
    EXPECT_NE(config.find("File1=" + address), std::string::npos) << config;
}

// File > Open Web Site...: the address typed into the dialog; "Stop and Show" shows what was
// crawled so far; Cancel in a second crawl, and a crawl that fails, keep that graph on view.
TEST_F(ApplicationTest, OpenWebSiteStopAndShowCancelAndFailureKeepTheGraph) {
    // 50 ms a page: 5 000 pages are far from crawled when the crawl is stopped.
    test::SiteServer server(configHome + "/server.log",
                            {"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    const std::string address = server.url("/gen/0.html");
    noCrawlDelay();
    Program orvo(configHome, {kSite});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();

    // Opens the dialog, types the address over the one shown and presses Return; false when
    // no dialog came.
    const auto ask = [&](const std::string& url) {
        chooseFromFileMenu(orvo, main, "w");
        const std::string dialog = orvo.window("^Open Web Site$");
        if (dialog.empty()) return false;
        shell("xdotool windowfocus --sync " + dialog + " key ctrl+a");
        shell("xdotool windowfocus --sync " + dialog + " type --delay 20 '" + url + "'");
        shell("xdotool key Return");
        return true;
    };
    // The same, then the progress box.
    const auto crawl = [&](const std::string& url) -> std::string {
        return ask(url) ? orvo.window("^Crawling ") : std::string();
    };
    const std::string box = crawl(address);
    ASSERT_FALSE(box.empty()) << "no progress box";
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() >= 20; }, 60s));
    // Stop and Show (Alt+S), pressed again now and then until the box goes, in case the first
    // key came before the box took keys.
    const std::string title = address + " - orvo";
    auto lastPress = std::chrono::steady_clock::now() - 1h;
    EXPECT_TRUE(waitUntil(
        [&] {
            if (!orvo.titled(title, 0).empty()) return true;
            if (std::chrono::steady_clock::now() - lastPress > scaled(1000ms)) {
                shell("xdotool windowfocus --sync " + box + " key alt+s 2>/dev/null");
                lastPress = std::chrono::steady_clock::now();
            }
            return false;
        },
        60s, [] { std::this_thread::sleep_for(100ms); }))
        << "Stop and Show did not show the crawl";
    const std::size_t requested = server.requests().size();
    EXPECT_LT(requested, 5000u);
    int cx = 0, cy = 0;
    const Geometry frame = windowGeometry(main);
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, cx, cy);
    });

    // A second crawl, cancelled with Escape: the crawled graph stays under its title.
    const std::string second = crawl(server.url("/gen/1.html"));
    ASSERT_FALSE(second.empty()) << "no progress box";
    EXPECT_TRUE(waitUntil(
        [&] {
            if (orvo.window("^Crawling ", 0).empty()) return true;
            shell("xdotool windowfocus --sync " + second + " key Escape 2>/dev/null");
            return false;
        },
        30s, [] { std::this_thread::sleep_for(scaled(500ms)); }))
        << "Cancel did not end the crawl";
    EXPECT_EQ(shell("xdotool getwindowname " + main), title);

    // An address nothing answers at: the message says why, the graph stays.
    const std::string refused = "http://127.0.0.1:1/";
    ASSERT_TRUE(ask(refused));
    ASSERT_FALSE(orvo.window("^orvo$").empty()) << "no message";
    EXPECT_TRUE(waitUntil([&] { return orvo.window("^orvo$", 0).empty(); }, 20s, [] {
        shell("xdotool key Return");
        std::this_thread::sleep_for(300ms);
    })) << "the message box did not close";
    EXPECT_EQ(shell("xdotool getwindowname " + main), title);
    int rx = 0, ry = 0;
    shotWhen(frame, [&](const ScreenImage& image) {
        return largestPatch(image, {0, 255, 255}, rx, ry);
    });

    chooseFromFileMenu(orvo, main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    // The dialog's choices are kept for the next run.
    const std::string config = readFile(configHome + "/orvo/orvo.conf");
    EXPECT_NE(config.find("Address=" + refused), std::string::npos) << config;
    EXPECT_NE(config.find("File1=" + address), std::string::npos) << config;
}

TEST(ApplicationOptionsTest, HelpAndVersionNeedNoDisplay) {
    const std::string app = ORVO_APP;
    EXPECT_EQ(shell("env -u DISPLAY " + app + " --version; echo status $?"),
              "orvo 2.0.0\nstatus 0");
    const std::string help = shell("env -u DISPLAY " + app + " --help; echo status $?");
    EXPECT_NE(help.find("FILE"), std::string::npos) << help;
    EXPECT_NE(help.find("status 0"), std::string::npos) << help;
    const std::string bad = shell("env -u DISPLAY " + app + " --frobnicate 2>&1; echo status $?");
    EXPECT_NE(bad.find("orvo: "), std::string::npos) << bad;
    EXPECT_NE(bad.find("--frobnicate"), std::string::npos) << bad;
    EXPECT_NE(bad.find("status 2"), std::string::npos) << bad;
}

}  // namespace
}  // namespace orvo
