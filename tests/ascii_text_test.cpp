// The importers' ASCII helpers: byte-wise, whatever the locale, UTF-8 bytes untouched.
#include "import/ascii_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "import/url.h"

namespace orvo {
namespace {

TEST(AsciiText, LowersTrimsAndComparesByteWise) {
    // A locale whose tolower maps bytes above 0x7F must not change the results.
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(asciiLowered("HTTP://Ex.ORG/Ä\xC3\x84 I"), "http://ex.org/Ä\xC3\x84 i");
    EXPECT_EQ(asciiLowered(std::string("A\xC4\xB0Z\xFF", 5)), std::string("a\xC4\xB0z\xFF", 5));
    std::setlocale(LC_ALL, "C");
    struct Trim {
        const char* text;
        const char* trimmed;
    };
    for (const Trim& t :
         {Trim{"", ""}, Trim{" \t\r\n\v\f", ""}, Trim{"\r text/html ;\r\n", "text/html ;"},
          Trim{"a b", "a b"}, Trim{"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"}}) {
        EXPECT_EQ(trimAscii(t.text), t.trimmed) << t.text;
    }
    EXPECT_TRUE(startsWithNoCase("Content-Type: x", "content-type:"));
    EXPECT_FALSE(startsWithNoCase("Content-Typ", "content-type:"));
    EXPECT_FALSE(startsWithNoCase("\xC3\x84", "\xC3\xA4"));
    for (const char* web : {"http://h/", "HTTPS://h", "Http://"})
        EXPECT_TRUE(isWebAddress(web)) << web;
    for (const char* other : {"", "http:/h", "ftp://h/", " http://h/", "site/http://h"})
        EXPECT_FALSE(isWebAddress(other)) << other;
}

}  // namespace
}  // namespace orvo
