// Open in Browser: which ids count as web addresses, and the handler program receiving a
// hostile id as exactly one argument, with nothing of it run as a command.
#include "platform/url_opener.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

TEST(UrlOpenerTest, OnlyHttpAndHttpsAddressesWithAHostAreOpened) {
    for (const char* url : {"http://www.example.org/", "HTTPS://example.org/a?b=c&d=$(e)"}) {
        EXPECT_TRUE(isWebUrl(url)) << url;
    }
    for (const char* notUrl :
         {"ftp://example.org/", "file:///etc/passwd", "http://", "http:///etc/passwd", "-http://x/",
          "http://x/a b", "http://x/\n--option", "QX_TOPNODE"}) {
        EXPECT_FALSE(isWebUrl(notUrl)) << notUrl;
    }
    std::string error;
    EXPECT_FALSE(openUrl("javascript:alert(1)", error));
    EXPECT_FALSE(error.empty());
}

/// A scratch folder with a handler script that writes how many arguments it got and each one,
/// NUL-terminated, into a file (renamed into place when complete).
class UrlHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(scratch.path().empty());
        dir = scratch.path();
        handler = dir + "/handler";
        std::ofstream script(handler);
        script << "#!/bin/sh\n"
                  "out=\"$(dirname \"$0\")/received\"\n"
                  "printf '%s\\n' \"$#\" > \"$out.part\"\n"
                  "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.part\"; done\n"
                  "mv \"$out.part\" \"$out\"\n";
        script.close();
        ASSERT_EQ(::chmod(handler.c_str(), 0700), 0);
        savedHandler = std::getenv("ORVO_URL_HANDLER") ? std::getenv("ORVO_URL_HANDLER") : "";
        savedBrowser = std::getenv("BROWSER") ? std::getenv("BROWSER") : "";
    }
    void TearDown() override {
        restore("ORVO_URL_HANDLER", savedHandler);
        restore("BROWSER", savedBrowser);
    }
    static void restore(const char* name, const std::string& value) {
        if (value.empty()) {
            ::unsetenv(name);
        } else {
            ::setenv(name, value.c_str(), 1);
        }
    }
    /// The arguments the handler received, waiting for it (it runs on its own).
    std::vector<std::string> received() {
        const std::string path = dir + "/received";
        testing::waitUntil([&] { return ::access(path.c_str(), F_OK) == 0; },
                           std::chrono::seconds(30));
        std::ifstream in(path, std::ios::binary);
        std::string count;
        std::getline(in, count);
        std::vector<std::string> args;
        std::string arg;
        while (std::getline(in, arg, '\0')) args.push_back(arg);
        EXPECT_EQ(count, std::to_string(args.size()));
        std::remove(path.c_str());
        return args;
    }

    testing::TempDir scratch;
    std::string dir, handler, savedHandler, savedBrowser;
};

TEST_F(UrlHandlerTest, AHostileIdReachesTheHandlerAsOneArgument) {
    ::setenv("ORVO_URL_HANDLER", handler.c_str(), 1);
    const std::string marker = dir + "/pwned";
    const std::string hostile = "http://x.org/a;touch${IFS}" + marker + ";$(touch${IFS}" + marker +
                                ")`touch${IFS}" + marker + "`'\"|&>" + marker + "<*?~#%s";
    ASSERT_TRUE(isWebUrl(hostile));
    std::string error;
    ASSERT_TRUE(openUrl(hostile, error)) << error;
    EXPECT_EQ(received(), std::vector<std::string>{hostile});
    EXPECT_NE(::access(marker.c_str(), F_OK), 0) << "a part of the id ran as a command";

    // The desktop's BROWSER, with a "%s" placeholder among its words: the address takes its place.
    ::unsetenv("ORVO_URL_HANDLER");
    ::setenv("BROWSER", (handler + " --new-tab %s:other-browser").c_str(), 1);
    EXPECT_EQ(urlHandlerCommand(), (std::vector<std::string>{handler, "--new-tab", "%s"}));
    ASSERT_TRUE(openUrl(hostile, error)) << error;
    EXPECT_EQ(received(), (std::vector<std::string>{"--new-tab", hostile}));
    EXPECT_NE(::access(marker.c_str(), F_OK), 0);

    // A handler that does not exist is reported.
    ::setenv("ORVO_URL_HANDLER", (dir + "/missing-program").c_str(), 1);
    EXPECT_FALSE(openUrl("http://x.org/", error));
    EXPECT_NE(error.find("missing-program"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvo
