// A published map taken apart as the page takes it: an element's text, base64 decoded, gzip
// inflated, and a number of its options block.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace orvo::testing {

/// The text of the element `<script ... id="ID">TEXT</script>`; empty when there is none.
inline std::string elementText(const std::string& page, const std::string& id) {
    const std::string open = "id=\"" + id + "\">";
    const size_t from = page.find(open);
    if (from == std::string::npos) return {};
    const size_t start = from + open.size();
    return page.substr(start, page.find("</script>", start) - start);
}

inline std::string unbase64(const std::string& text) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const char* at = c == '\0' ? nullptr : std::strchr(digits, c);
        if (at == nullptr) {
            ADD_FAILURE() << "not base64: " << int(c);
            break;
        }
        bits = bits << 6 | uint32_t(at - digits);
        if ((count += 6) >= 8) out += char((bits >> (count -= 8)) & 0xff);
    }
    return out;
}

/// The gzip stream inflated; a failure when it is no whole gzip stream.
inline std::string gunzip(const std::string& bytes) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    std::string out;
    char buffer[1 << 16];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    EXPECT_EQ(status, Z_STREAM_END) << "not a whole gzip stream";
    return out;
}

/// The number after "NAME": inside the JSON object after "PIECE":.
inline uint64_t jsonNumber(const std::string& json, const std::string& piece,
                           const std::string& name) {
    const size_t at = json.find("\"" + name + "\":", json.find("\"" + piece + "\":"));
    return at == std::string::npos ? ~0ull : std::stoull(json.substr(at + name.size() + 3));
}

}  // namespace orvo::testing
