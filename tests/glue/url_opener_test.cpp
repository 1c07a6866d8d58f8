// Open in Browser: which ids count as web addresses, and the handler program receiving a
// hostile id as exactly one argument, with nothing of it run as a command.
#include "platform/url_opener.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

/// Sets an environment variable (or removes it, given nullptr) until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(UrlOpenerTest, AHostileIdReachesTheHandlerAsOneArgument) {
    const testing::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    // The handler writes its arguments, NUL-terminated, into a file renamed into place when done.
    const std::string handler = dir / "handler", out = dir / "received";
    testing::writeWholeFile(handler, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"" + out +
                                         ".part\"\nmv \"" + out + ".part\" \"" + out + "\"\n");
    ASSERT_EQ(::chmod(handler.c_str(), 0700), 0);
    const auto received = [&] {  // waiting for it: it runs on its own
        testing::waitUntil([&] { return ::access(out.c_str(), F_OK) == 0; },
                           std::chrono::seconds(30));
        std::vector<std::string> args;
        const std::string text = testing::readWholeFile(out);
        for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
            args.push_back(text.substr(at, end - at));
        std::remove(out.c_str());
        return args;
    };
    const std::string marker = dir / "pwned";
    const std::string hostile = "http://x.org/a;touch${IFS}" + marker + ";$(touch${IFS}" + marker +
                                ")`touch${IFS}" + marker + "`'\"|&>" + marker + "<*?~#%s";
    ASSERT_TRUE(isWebUrl(hostile));
    std::string error;
    {
        const ScopedEnv own("ORVO_URL_HANDLER", handler.c_str());
        ASSERT_TRUE(openUrl(hostile, error)) << error;
        EXPECT_EQ(received(), std::vector<std::string>{hostile});
    }
    // The desktop's BROWSER, with a "%s" placeholder among its words: the address takes its place.
    {
        const ScopedEnv none("ORVO_URL_HANDLER", nullptr);
        const ScopedEnv browser("BROWSER", (handler + " --new-tab %s:other-browser").c_str());
        EXPECT_EQ(urlHandlerCommand(), (std::vector<std::string>{handler, "--new-tab", "%s"}));
        ASSERT_TRUE(openUrl(hostile, error)) << error;
        EXPECT_EQ(received(), (std::vector<std::string>{"--new-tab", hostile}));
    }
    EXPECT_NE(::access(marker.c_str(), F_OK), 0) << "a part of the id ran as a command";
    // A handler that does not exist is reported.
    const ScopedEnv missing("ORVO_URL_HANDLER", (dir / "missing-program").c_str());
    EXPECT_FALSE(openUrl("http://x.org/", error));
    EXPECT_NE(error.find("missing-program"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvo
