// The real `orvo` program on an X display, driven as a person drives it (xdotool): the view, its
// keys and clicks, finding a node, the File menu's dialogs, Ctrl+Q (the settings and recent files
// kept); the inputs it opens from the command line; loads that fail or are cancelled, which leave
// the graph on view.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/png_image.h"
#include "tests/crawl/site_server.h"
#include "tests/shell/x_screen.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

using namespace std::chrono_literals;
using testing::readWholeFile;
using testing::scaled;

const std::string kSite = std::string(ORVO_SOURCE_DIR) + "/examples/site.graph";
const std::string kWorked = std::string(ORVO_SOURCE_DIR) + "/examples/worked-example.graph";

/// Standard output of a shell command, trailing line ends removed.
std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, got);
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

/// Polls `done` every 100 ms until it holds or the (scaled) cap has passed.
template <class Condition>
bool poll(Condition done, std::chrono::milliseconds cap = 20s) {
    return testing::waitUntil(done, cap, [] { std::this_thread::sleep_for(100ms); });
}

/// Sends `xdotool <keys>` every `every` (scaled) until `done` holds: a key that came before a
/// window or menu took keys is lost, so it is pressed again while nothing happens.
template <class Condition>
bool pressUntil(const std::string& keys, Condition done, std::chrono::milliseconds every = 1000ms) {
    auto lastPress = std::chrono::steady_clock::now() - 1h;
    return poll(
        [&] {
            if (done()) return true;
            if (std::chrono::steady_clock::now() - lastPress > scaled(every)) {
                shell("xdotool " + keys + " 2>/dev/null");
                lastPress = std::chrono::steady_clock::now();
            }
            return false;
        },
        30s);
}

/// The first shown window whose title matches the pattern (and these further `xdotool search`
/// options), polled for up to `seconds` (0: looked for once). Polled rather than one search
/// --sync, which gives up at once when another window closes while it looks.
std::string findWindow(const std::string& pattern, const std::string& options = "",
                       int seconds = 20) {
    const std::string command = "xdotool search --all --onlyvisible " + options + " --name '" +
                                pattern + "' 2>/dev/null | head -n 1";
    std::string found;
    const auto look = [&] { return !(found = shell(command)).empty(); };
    if (seconds == 0) return look(), found;
    poll(look, std::chrono::seconds(seconds));
    return found;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry windowGeometry(const std::string& window) {
    Geometry g;
    std::sscanf(shell("xdotool getwindowgeometry --shell " + window).c_str(),
                "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &g.x, &g.y, &g.width, &g.height);
    return g;
}

/// The running program, with its own configuration folder.
class Program {
public:
    Program(const std::string& configHome, const std::vector<std::string>& arguments,
            std::vector<std::string> environment = {})
        : pid_(start(configHome, arguments, std::move(environment))) {}
    ~Program() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    /// The exit status, waiting up to twenty seconds (scaled); -1 when it is still running.
    int waitForExit() {
        int status = 0;
        if (!poll([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; })) return -1;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    /// CPU time used so far, in clock ticks (user and system, after the command's name).
    long cpuTicks() const {
        const std::string stat = readWholeFile("/proc/" + std::to_string(pid_) + "/stat");
        const size_t end = stat.rfind(')');
        long user = 0, system = 0;
        if (end == std::string::npos) return 0;
        std::sscanf(stat.c_str() + end, ") %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld",
                    &user, &system);
        return user + system;
    }
    /// Waits until the program has used no CPU for half a second; false when it never rests.
    bool waitUntilIdle() const {
        long last = cpuTicks();
        return testing::waitUntil(
            [&] {
                std::this_thread::sleep_for(500ms);
                const long now = cpuTicks();
                return std::exchange(last, now) == now;
            },
            20s);
    }
    std::string output() const {
        return readWholeFile(output_.file("out")) + readWholeFile(output_.file("err"));
    }
    /// The ids of the program's shown windows (an open menu is one of them).
    std::set<std::string> shownWindows(const std::string& pattern = "") const {
        std::istringstream found(shell("xdotool search --onlyvisible --pid " +
                                       std::to_string(pid_) + " --name '" + pattern +
                                       "' 2>/dev/null"));
        return {std::istream_iterator<std::string>(found), std::istream_iterator<std::string>()};
    }
    /// Those of its shown windows whose title matches the pattern that are dialogs (message and
    /// progress boxes; not menus and tooltips, which may share the title).
    std::vector<std::string> shownDialogs(const std::string& pattern = "") const {
        std::vector<std::string> found;
        for (const std::string& w : shownWindows(pattern)) {
            if (shell("xprop -id " + w + " _NET_WM_WINDOW_TYPE").find("_DIALOG") !=
                std::string::npos)
                found.push_back(w);
        }
        return found;
    }
    /// The first of its windows whose title matches the pattern, waiting up to `seconds`.
    std::string window(const std::string& pattern, int seconds = 20) const {
        return findWindow(pattern, "--pid " + std::to_string(pid_), seconds);
    }
    /// Picks the File menu's entry with this mnemonic ("x" is Exit, "1" the first recent file),
    /// then waits until the menu has gone.
    void chooseFromFileMenu(const std::string& main, const std::string& mnemonic) const {
        // The pointer goes to the screen's far corner first: a tooltip shown where an earlier
        // test left it would pass for the menu.
        shell("xdotool mousemove --sync $(xdotool getdisplaygeometry | awk '{print $1-1, $2-1}')");
        const std::set<std::string> before = shownWindows();
        std::set<std::string> menu;
        ASSERT_TRUE(pressUntil(
            "windowfocus --sync " + main + " key alt+f",
            [&] {
                for (const std::string& id : shownWindows())
                    if (!before.count(id)) menu.insert(id);
                return !menu.empty();
            },
            3000ms))
            << "the File menu did not open; shown: " << describeShownWindows();
        // Only the open menu takes the mnemonic, so a repeat cannot reach anything else.
        EXPECT_TRUE(pressUntil(
            "key " + mnemonic,
            [&] {
                const std::set<std::string> shown = shownWindows();
                return std::none_of(menu.begin(), menu.end(),
                                    [&](const std::string& id) { return shown.count(id) > 0; });
            },
            2000ms))
            << "the File menu did not close";
    }
    pid_t pid() const { return pid_; }
    /// Each shown window's title, to say what stood in the way of a key.
    std::string describeShownWindows() const {
        std::string titles;
        for (const std::string& id : shownWindows())
            titles += "\"" + shell("xdotool getwindowname " + id + " 2>/dev/null") + "\" ";
        return titles;
    }

private:
    pid_t start(const std::string& configHome, const std::vector<std::string>& arguments,
                std::vector<std::string> environment) const {
        environment.push_back("XDG_CONFIG_HOME=" + configHome);
        environment.push_back("XDG_CACHE_HOME=" + configHome + "/cache");  // the kept maps
        return test::startTool(output_, ORVO_APP, arguments, environment);
    }

    testing::TempDir output_;  // what it prints
    pid_t pid_ = -1;
    bool exited_ = false;
};

using Rgb = std::array<uint8_t, 3>;
constexpr Rgb kHtml{0, 255, 255}, kSelected{204, 178, 255}, kImage{255, 0, 255},
    kSphere{230, 179, 153}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

bool near(const Rgb& p, const Rgb& q) {
    return std::abs(p[0] - q[0]) <= 3 && std::abs(p[1] - q[1]) <= 3 && std::abs(p[2] - q[2]) <= 3;
}
long countColour(const ScreenImage& image, const Rgb& colour) {
    return std::count_if(image.rgb.begin(), image.rgb.end(),
                         [&](const Rgb& p) { return near(p, colour); });
}

/// Centre of the largest patch of exactly this colour (the biggest cube drawn in it).
bool largestPatch(const ScreenImage& image, const Rgb& colour, int& cx, int& cy) {
    std::vector<char> seen(image.rgb.size(), 0);
    long best = 0;
    for (size_t start = 0; start < image.rgb.size(); ++start) {
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
            for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                const int nx = px + dx, ny = py + dy;
                if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height) continue;
                const size_t j = static_cast<size_t>(ny) * image.width + nx;
                if (!seen[j] && image.rgb[j] == colour) seen[j] = 1, stack.push_back(j);
            }
        }
        if (count > best)
            best = count, cx = static_cast<int>(sx / count), cy = static_cast<int>(sy / count);
    }
    return best > 0;
}

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(configHome.empty()); }

    /// The window's picture once `shows` holds of it (the last one read when it never does).
    template <class Shows>
    ScreenImage shotWhen(const Geometry& g, Shows shows) {
        ScreenImage image;
        EXPECT_TRUE(testing::waitUntil(
            [&] { return captureScreen(g.x, g.y, g.width, g.height, image) && shows(image); }, 20s,
            [] { std::this_thread::sleep_for(50ms); }))
            << "the window never showed what was waited for";
        return image;
    }
    /// Where the top node (the largest html cube) is, once the window shows it and has finished
    /// drawing it: a picture caught while its frame is drawn, before the labels, puts the cube's
    /// middle elsewhere, so the same place must come back in two pictures a moment apart.
    std::pair<int, int> topNode(const Geometry& frame) {
        int cx = 0, cy = 0, lastX = -1, lastY = -1;
        shotWhen(frame, [&](const ScreenImage& shot) {
            if (!largestPatch(shot, kHtml, cx, cy)) return false;
            const bool same = cx == lastX && cy == lastY;
            lastX = cx, lastY = cy;
            if (!same) std::this_thread::sleep_for(200ms);
            return same;
        });
        return {cx, cy};
    }
    /// Waits until the site is on view, under the site's title: page cubes drawn, their colour
    /// filling at least 100 pixels. (Where the top cube lies is not held: under the sanitizers
    /// and under load, the picture repainted during a load that is then cancelled was seen 47 px
    /// off the one before it, for a reason not yet found.)
    void expectSiteOnView(const std::string& main, const Geometry& frame) {
        constexpr int kCubePixels = 100;
        int found = 0;
        shotWhen(frame, [&](const ScreenImage& shot) {
            found = 0;
            for (const auto& pixel : shot.rgb) found += pixel == kHtml ? 1 : 0;
            return found >= kCubePixels;
        });
        EXPECT_GE(found, kCubePixels) << "the site left the view";
        EXPECT_EQ(shell("xdotool getwindowname " + main), "site.graph - orvo");
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
            if (poll([&] { return program.window("^Open$", 0).empty(); }, 5s)) return true;
        }
        return false;
    }
    /// The configuration the program starts with.
    void configure(const std::string& text) {
        std::filesystem::create_directories(configHome + "/orvo");
        testing::writeWholeFile(configHome + "/orvo/orvo.conf", text);
    }
    std::string config() { return readWholeFile(configHome + "/orvo/orvo.conf"); }
    void type(const std::string& window, const std::string& text) {
        shell("xdotool windowfocus --sync " + window + " type --delay 60 '" + text + "'");
    }

    testing::TempDir folder;
    const std::string& configHome = folder.path();
};

TEST_F(ApplicationTest, ExportClickKeysFindOpenNewAndQuit) {
    // The graph is opened from a folder of the test's own: the Save dialog starts there.
    const std::string site = configHome + "/site.graph";
    std::filesystem::copy_file(kSite, site);
    Program orvo(configHome, {site});
    const std::string main = orvo.window("^site\\.graph - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    ASSERT_GT(frame.width, 200);

    // The top node: the biggest cyan ("html") cube, at the centre of the view; the boundary
    // sphere and image nodes (magenta) around it; nothing selected yet.
    int cx = 0, cy = 0;
    const ScreenImage start = shotWhen(frame, [&](const ScreenImage& shot) {
        return largestPatch(shot, kHtml, cx, cy) && countColour(shot, kSphere) > 500 &&
               countColour(shot, kImage) > 0;
    });
    const long sphereBefore = countColour(start, kSphere);
    EXPECT_EQ(countColour(start, kSelected), 0) << "a node is selected already";

    // File > Export Picture..., the window's size (the default), then the Save dialog's own
    // proposal: the graph's name with .png, in its folder.
    ASSERT_TRUE(orvo.waitUntilIdle());
    orvo.chooseFromFileMenu(main, "p");
    const std::string sizes = orvo.window("^Picture Size$");
    ASSERT_FALSE(sizes.empty()) << "no size dialog";
    EXPECT_TRUE(pressUntil("windowfocus --sync " + sizes + " key Return",
                           [&] { return orvo.window("^Picture Size$", 0).empty(); }));
    const std::string save = orvo.window("^Export Picture$");
    ASSERT_FALSE(save.empty()) << "no Save dialog";
    const std::string picture = configHome + "/site.png";
    EXPECT_TRUE(pressUntil("windowfocus --sync " + save + " key Return", [&] {
        return std::filesystem::exists(picture);
    })) << orvo.output();
    EXPECT_TRUE(poll([&] { return orvo.window("^Export Picture$", 0).empty(); }));
    RgbaImage image;
    std::string error;
    ASSERT_TRUE(poll([&] { return readPng(picture, image, error); })) << error;
    // The view's size (the frame's client area less the bars), and the view's picture.
    EXPECT_LE(image.width, frame.width);
    EXPECT_GT(image.width, frame.width * 9 / 10);
    EXPECT_LT(image.height, frame.height);
    EXPECT_GT(image.height, frame.height / 2);
    ScreenImage exported{0, 0, image.width, image.height, {}};
    for (size_t i = 0; i + 3 < image.pixels.size(); i += 4)
        exported.rgb.push_back({image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]});
    EXPECT_GT(countColour(exported, kSphere), 500) << "the boundary sphere";
    EXPECT_GT(countColour(exported, kHtml), 50) << "html pages";

    // A click on the top node rings it in the selection ring's colour; it keeps its own.
    shell("xdotool mousemove --sync " + std::to_string(frame.x + cx) + " " +
          std::to_string(frame.y + cy) + " click 1");
    int sx = 0, sy = 0;
    shotWhen(frame, [&](const ScreenImage& shot) { return largestPatch(shot, kSelected, sx, sy); });
    EXPECT_LT(std::abs(sx - cx) + std::abs(sy - cy), 40) << "the selected node is not the clicked";

    // Keys typed in the view: "s" hides the sphere; "R" twice, scheme 2's black background.
    type(main, "s");
    const ScreenImage noSphere = shotWhen(frame, [&](const ScreenImage& shot) {
        return countColour(shot, kSphere) < sphereBefore / 20;
    });
    EXPECT_TRUE(near(noSphere.at(cx - 300, cy), kWhite));
    type(main, "RR");
    shotWhen(frame, [&](const ScreenImage& shot) {
        int rx = 0, ry = 0;
        return near(shot.at(cx - 300, cy), kBlack) && near(shot.at(cx, cy), kHtml) &&
               largestPatch(shot, kSelected, rx, ry) && std::abs(rx - cx) + std::abs(ry - cy) < 40;
    });

    // An idle window uses no CPU: once refinement has ended, none at all for two seconds.
    ASSERT_TRUE(orvo.waitUntilIdle()) << "the window never stops using CPU";
    const long ticks = orvo.cpuTicks();
    std::this_thread::sleep_for(2000ms);
    EXPECT_LE(orvo.cpuTicks() - ticks, 4);

    // Ctrl+F, part of a page's id, Enter: the page is selected and flown to the centre; Alt+Left
    // goes back to the top node. Each time the picture around the centre changes, and comes to
    // rest with a selected node at the centre.
    ScreenImage last, before;
    captureScreen(frame.x, frame.y, frame.width, frame.height, before);
    const auto travelledTo = [&](const ScreenImage& shot) {
        const bool rested = shot.rgb == last.rgb;
        last = shot;
        long changed = 0;
        for (size_t i = 0; i < shot.rgb.size() && i < before.rgb.size(); ++i)
            changed += shot.rgb[i] != before.rgb[i];
        return rested && changed > static_cast<long>(shot.rgb.size()) / 50 &&
               largestPatch(shot, kSelected, sx, sy) && std::abs(sx - cx) + std::abs(sy - cy) < 30;
    };
    shell("xdotool windowfocus --sync " + main + " key ctrl+f");
    const std::string dialog = orvo.window("^Find Node$");
    ASSERT_FALSE(dialog.empty()) << "no Find Node dialog";
    type(dialog, "example.org/FAQ.h");
    shell("xdotool windowfocus --sync " + dialog + " key Return");
    EXPECT_TRUE(poll([&] { return orvo.window("^Find Node$", 0).empty(); })) << "the dialog stays";
    before = shotWhen(frame, travelledTo);
    shell("xdotool windowfocus --sync " + main + " key alt+Left");
    last = ScreenImage();
    shotWhen(frame, travelledTo);

    // File > Open (Ctrl+O), a path typed into the dialog, Return.
    ASSERT_TRUE(openThroughDialog(orvo, main, kWorked)) << "no Open dialog";
    ASSERT_FALSE(orvo.window("^worked-example\\.graph - orvo$").empty()) << orvo.output();
    const ScreenImage worked = shotWhen(frame, [&](const ScreenImage& shot) {
        int wx, wy;
        return countColour(shot, kSelected) == 0 && largestPatch(shot, kHtml, wx, wy);
    });
    EXPECT_TRUE(near(worked.at(cx - 300, cy), kBlack)) << "the colour scheme outlives a load";

    // New (Ctrl+N): only the title changes; the graph stays on view.
    shell("xdotool windowfocus --sync " + main + " key ctrl+n");
    EXPECT_FALSE(orvo.window("^Untitled - orvo$").empty());
    ASSERT_TRUE(orvo.waitUntilIdle());
    ScreenImage untitled;
    captureScreen(frame.x, frame.y, frame.width, frame.height, untitled);
    EXPECT_TRUE(largestPatch(untitled, kHtml, cx, cy)) << "the graph left the view";

    // File > Ask How to Import turned off, then Ctrl+Q: the process ends at once, without taking
    // the graph apart, and what the user chose is on disk all the same.
    orvo.chooseFromFileMenu(main, "i");
    shell("xdotool windowfocus --sync " + main + " key ctrl+q");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    // The recent-file list, most recent first (the file escapes the blanks of a group name).
    EXPECT_NE(config().find("[Recent\\ File\\ List]\nFile1=" + kWorked + "\nFile2=" + site),
              std::string::npos)
        << config();
    EXPECT_NE(config().find("AskHowToImport=0"), std::string::npos) << config();
}

// As a file manager starts the viewer on several selected inputs: the first opens in this
// process, each further one in a window of a process of its own, titled by its own name; the
// recent-file list they share holds what each of them opened. A web
// address is crawled from the test site on 127.0.0.1; an edge list and a web site's folder are
// imported in memory; a name that starts with a dash is still a file name (the viewer started for
// it gets "--" before it).
TEST_F(ApplicationTest, InputsOnTheCommandLineEachInAWindowOfItsOwn) {
    const std::string site = configHome + "/docs";
    std::filesystem::create_directories(site);
    testing::writeWholeFile(site + "/index.html", "<a href=page.html>page</a><img src=logo.png>");
    testing::writeWholeFile(site + "/page.html", "<a href=index.html>home</a>");
    const std::string csv = configHome + "/-crawl.csv";
    testing::writeWholeFile(csv, "from,to\na,b\nb,c\nc,a\n");
    test::SiteServer server({"--pages", "300"});
    ASSERT_TRUE(server.running());
    const std::string address = server.url("/gen/0.html");
    // The edge list opens without its import dialog (which the import dialog test answers).
    configure("[Open\\ Web\\ Site]\nDelay=0\n[Import\\ Options]\nAskHowToImport=0\n");
    Program orvo(configHome, {address, csv, site});
    const auto listed = [this](const std::string& input) {
        return config().find("=" + input + "\n") != std::string::npos;
    };
    for (const auto& [title, input] : {std::pair{"-crawl\\.csv", csv}, std::pair{"docs", site}}) {
        const std::string further = findWindow("^" + std::string(title) + " - orvo$", "", 60);
        ASSERT_FALSE(further.empty()) << title << orvo.output();
        const pid_t pid = std::atoi(shell("xdotool getwindowpid " + further).c_str());
        EXPECT_NE(pid, orvo.pid()) << "one window a process";
        // Its process puts the file on the shared list once the file is open.
        EXPECT_TRUE(testing::waitUntil([&] { return listed(input); }, 60s)) << input << config();
        if (pid > 0) ::kill(pid, SIGTERM);
    }
    const std::string main = orvo.window("^" + address + " - orvo$", 60);
    ASSERT_FALSE(main.empty()) << orvo.output();
    topNode(windowGeometry(main));  // the crawled top page on view
    EXPECT_TRUE(testing::waitUntil([&] { return listed(address); }, 60s)) << config();
    orvo.chooseFromFileMenu(main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    EXPECT_GE(server.requests().size(), 300u) << "the whole generated site was asked for";
    for (const std::string& input : {address, csv, site}) EXPECT_TRUE(listed(input)) << input;
}

// A web site's folder opened with the default drawing path, as on a first start: imported before
// the window's first context is made, it is drawn, with shaders and buffers where the driver
// offers a context for them and compiles them, else without a word through the fixed functions;
// no message box comes up, and the program ends as asked.
TEST_F(ApplicationTest, AFolderIsDrawnWithTheDefaultDrawingPath) {
    const std::string site = configHome + "/docs";
    std::filesystem::create_directories(site + "/guide");
    std::string index;
    for (int i = 0; i < 12; ++i) {
        const std::string page = "guide/p" + std::to_string(i) + ".html";
        index += "<a href=" + page + ">p</a><img src=i" + std::to_string(i) + ".png>";
        testing::writeWholeFile(site + "/" + page, "<a href=../index.html>home</a>");
    }
    testing::writeWholeFile(site + "/index.html", index);
    const struct {
        const char* driver;
        std::vector<std::string> environment;
    } drivers[] = {
        {"Mesa as it is", {}},
        {"no OpenGL 3.3 core nor ES 3.0",
         {"MESA_GL_VERSION_OVERRIDE=2.1", "MESA_GLES_VERSION_OVERRIDE=2.0"}},
        // The 3.3 core context is made, but its shaders do not compile: the window takes a
        // compatibility-profile context in its place.
        {"3.3 core without its shading language",
         {"MESA_GL_VERSION_OVERRIDE=3.3", "MESA_GLSL_VERSION_OVERRIDE=130"}},
    };
    for (const auto& d : drivers) {
        SCOPED_TRACE(d.driver);
        Program orvo(configHome, {site}, d.environment);
        const std::string main = orvo.window("^docs - orvo$", 60);
        ASSERT_FALSE(main.empty()) << orvo.output();
        topNode(windowGeometry(main));
        EXPECT_TRUE(orvo.waitUntilIdle());
        EXPECT_TRUE(orvo.shownDialogs().empty()) << orvo.describeShownWindows();
        orvo.chooseFromFileMenu(main, "x");
        EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    }
}

// What the window adds to a failed and a cancelled load (every way one fails is driven through
// the glue in its own test): the message box for a file that is gone, Cancel in the progress box
// of a load that never ends (the view repaints under it). The graph on view stays, under its
// title. A crawl stopped early with "Stop and Show" shows what it fetched.
TEST_F(ApplicationTest, FailedAndCancelledLoadsKeepTheGraphOnView) {
    // 50 ms a page: 5 000 pages are far from crawled when the crawl is stopped.
    test::SiteServer server({"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    // A named pipe whose writer stays open and silent, reached through the recent-file list
    // (the Open dialog takes regular files only). Opened read and write, it waits for no reader;
    // not inherited, as a writer held by the program would let the load end.
    const std::string silent = configHome + "/silent.graph";
    ASSERT_EQ(::mkfifo(silent.c_str(), 0600), 0);
    const int writer = ::open(silent.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string records = "0 a://p/ 0 html main\n1 a://p/x.html 0 html main\n";
    ASSERT_EQ(::write(writer, records.data(), records.size()), ssize_t(records.size()));
    configure("[Recent\\ File\\ List]\nFile1=" + silent + "\nFile2=" + kSite +
              "\n[Open\\ Web\\ Site]\nDelay=0\n");
    const std::string missing = configHome + "/missing.graph";
    Program orvo(configHome, {missing});

    // The message box (titled "orvo", as the main window is until a document is made) takes
    // Return; the empty window then says how to open a graph: a line of text across its middle.
    ASSERT_FALSE(orvo.window("^orvo$").empty()) << "no message box";
    EXPECT_TRUE(pressUntil("key Return", [&] {
        return !orvo.window("^Untitled - orvo$", 0).empty();
    })) << "the message box did not close";
    EXPECT_NE(orvo.output().find("Cannot open \"" + missing + "\": No such file or directory."),
              std::string::npos)
        << orvo.output();
    const std::string main = orvo.window("^Untitled - orvo$");
    ASSERT_FALSE(main.empty()) << orvo.output();
    const Geometry frame = windowGeometry(main);
    shotWhen(frame, [&](const ScreenImage& shot) {
        std::set<int> textColumns;
        for (int y = shot.height * 2 / 5; y < shot.height * 3 / 5; ++y)
            for (int x = 0; x < shot.width; ++x)
                if (shot.at(x, y) != shot.at(shot.width / 2, 5 * shot.height / 6))
                    textColumns.insert(x);
        return static_cast<int>(textColumns.size()) > shot.width / 4;
    });

    // The site from the recent list; then the silent pipe, now second in it.
    orvo.chooseFromFileMenu(main, "2");
    ASSERT_FALSE(orvo.window("^site\\.graph - orvo$").empty()) << orvo.output();
    topNode(frame);  // the site drawn
    orvo.chooseFromFileMenu(main, "2");
    // The box is the program's dialog titled "orvo", as the main window was before.
    const auto boxes = [&] { return orvo.shownDialogs("^orvo$"); };
    std::vector<std::string> box;
    ASSERT_TRUE(poll([&] { return !(box = boxes()).empty(); }, 30s)) << "no progress shown";
    // Moved aside, the box uncovers the view, which repaints the site while the load goes on.
    shell("xdotool windowmove --sync " + box[0] + " " + std::to_string(frame.x + frame.width + 20) +
          " 0");
    expectSiteOnView(main, frame);
    // Escape is the box's Cancel. A search can come back empty while windows come and go, so
    // the box counts as gone only when five searches in a row find none.
    int emptySearches = 0;
    EXPECT_TRUE(pressUntil("windowfocus --sync " + box[0] + " key Escape", [&] {
        emptySearches = boxes().empty() ? emptySearches + 1 : 0;
        return emptySearches >= 5;
    })) << "the progress box (or a message) is still up";
    expectSiteOnView(main, frame);

    // File > Open Web Site..., the address typed over the one shown, Return; Stop and Show
    // (Alt+S) once some pages are in: the crawled graph is shown under its address.
    orvo.chooseFromFileMenu(main, "w");
    const std::string dialog = orvo.window("^Open Web Site$");
    ASSERT_FALSE(dialog.empty()) << "no Open Web Site dialog";
    shell("xdotool windowfocus --sync " + dialog + " key ctrl+a");
    const std::string address = server.url("/gen/0.html");
    type(dialog, address);
    shell("xdotool key Return");
    const std::string stopped = orvo.window("^Crawling ");
    ASSERT_FALSE(stopped.empty()) << "no progress box";
    ASSERT_TRUE(poll([&] { return server.requests().size() >= 20; }, 60s));
    EXPECT_TRUE(pressUntil("windowfocus --sync " + stopped + " key alt+s", [&] {
        return !orvo.window("^" + address + " - orvo$", 0).empty();
    })) << "Stop and Show did not show the crawl";
    EXPECT_LT(server.requests().size(), 5000u);
    topNode(frame);

    orvo.chooseFromFileMenu(main, "x");
    EXPECT_EQ(orvo.waitForExit(), 0) << orvo.output();
    ::close(writer);
    // A cancelled or failed load neither moves up the list nor drops out of it; the dialog's
    // choices are kept for the next run.
    EXPECT_NE(config().find("File1=" + address + "\nFile2=" + kSite + "\nFile3=" + silent),
              std::string::npos)
        << config();
    EXPECT_NE(config().find("Address=" + address), std::string::npos) << config();
}

TEST(ApplicationOptionsTest, HelpAndVersionNeedNoDisplay) {
    const auto run = [](const char* option) {
        return test::runTool(ORVO_APP, {option}, {"DISPLAY"});
    };
    const test::ToolRun version = run("--version"), help = run("--help"), bad = run("--frobnicate");
    EXPECT_EQ(version.out + std::to_string(version.status), "orvo 2.0.0\n0");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("FILE"), std::string::npos) << help.out;
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.starts_with("orvo: ")) << bad.err;
    EXPECT_NE(bad.err.find("--frobnicate"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace orvo
