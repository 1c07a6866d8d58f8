// Content kinds by extension and by media type.
#include "import/content_kind.h"

#include <array>
#include <string>
#include <utility>

#include "import/ascii_text.h"

namespace orvo {

namespace {

using namespace std::string_view_literals;  // the magic numbers hold NUL bytes

struct ExtensionKind {
    std::string_view extension;  // lower case, without the dot
    std::string_view kind;
};

constexpr std::array kExtensions{
    ExtensionKind{"html", "html"},        ExtensionKind{"htm", "html"},
    ExtensionKind{"xhtml", "html"},       ExtensionKind{"shtml", "html"},
    ExtensionKind{"php", "html"},         ExtensionKind{"asp", "html"},
    ExtensionKind{"aspx", "html"},        ExtensionKind{"jsp", "html"},
    ExtensionKind{"png", "image"},        ExtensionKind{"gif", "image"},
    ExtensionKind{"jpg", "image"},        ExtensionKind{"jpeg", "image"},
    ExtensionKind{"svg", "image"},        ExtensionKind{"webp", "image"},
    ExtensionKind{"ico", "image"},        ExtensionKind{"bmp", "image"},
    ExtensionKind{"tif", "image"},        ExtensionKind{"tiff", "image"},
    ExtensionKind{"avif", "image"},       ExtensionKind{"xpm", "image"},
    ExtensionKind{"txt", "text"},         ExtensionKind{"md", "text"},
    ExtensionKind{"rst", "text"},         ExtensionKind{"csv", "text"},
    ExtensionKind{"tsv", "text"},         ExtensionKind{"css", "text"},
    ExtensionKind{"xml", "text"},         ExtensionKind{"json", "text"},
    ExtensionKind{"yaml", "text"},        ExtensionKind{"yml", "text"},
    ExtensionKind{"toml", "text"},        ExtensionKind{"ini", "text"},
    ExtensionKind{"log", "text"},         ExtensionKind{"tex", "text"},
    ExtensionKind{"graph", "text"},       ExtensionKind{"dot", "text"},
    ExtensionKind{"gv", "text"},          ExtensionKind{"graphml", "text"},
    ExtensionKind{"pdf", "application"},  ExtensionKind{"zip", "application"},
    ExtensionKind{"gz", "application"},   ExtensionKind{"tgz", "application"},
    ExtensionKind{"bz2", "application"},  ExtensionKind{"xz", "application"},
    ExtensionKind{"zst", "application"},  ExtensionKind{"tar", "application"},
    ExtensionKind{"7z", "application"},   ExtensionKind{"rar", "application"},
    ExtensionKind{"exe", "application"},  ExtensionKind{"dll", "application"},
    ExtensionKind{"so", "application"},   ExtensionKind{"a", "application"},
    ExtensionKind{"o", "application"},    ExtensionKind{"deb", "application"},
    ExtensionKind{"rpm", "application"},  ExtensionKind{"jar", "application"},
    ExtensionKind{"doc", "application"},  ExtensionKind{"docx", "application"},
    ExtensionKind{"xls", "application"},  ExtensionKind{"xlsx", "application"},
    ExtensionKind{"ppt", "application"},  ExtensionKind{"pptx", "application"},
    ExtensionKind{"odt", "application"},  ExtensionKind{"ods", "application"},
    ExtensionKind{"epub", "application"}, ExtensionKind{"wasm", "application"},
    ExtensionKind{"woff", "application"}, ExtensionKind{"woff2", "application"},
    ExtensionKind{"ttf", "application"},  ExtensionKind{"otf", "application"},
    ExtensionKind{"eot", "application"},  ExtensionKind{"bin", "application"},
    ExtensionKind{"mp3", "audio"},        ExtensionKind{"ogg", "audio"},
    ExtensionKind{"oga", "audio"},        ExtensionKind{"wav", "audio"},
    ExtensionKind{"flac", "audio"},       ExtensionKind{"m4a", "audio"},
    ExtensionKind{"aac", "audio"},        ExtensionKind{"opus", "audio"},
    ExtensionKind{"mid", "audio"},        ExtensionKind{"midi", "audio"},
    ExtensionKind{"mp4", "video"},        ExtensionKind{"webm", "video"},
    ExtensionKind{"mkv", "video"},        ExtensionKind{"avi", "video"},
    ExtensionKind{"mov", "video"},        ExtensionKind{"mpg", "video"},
    ExtensionKind{"mpeg", "video"},       ExtensionKind{"ogv", "video"},
    ExtensionKind{"m4v", "video"},        ExtensionKind{"wmv", "video"},
    ExtensionKind{"js", "source"},        ExtensionKind{"mjs", "source"},
    ExtensionKind{"ts", "source"},        ExtensionKind{"c", "source"},
    ExtensionKind{"h", "source"},         ExtensionKind{"cc", "source"},
    ExtensionKind{"cpp", "source"},       ExtensionKind{"cxx", "source"},
    ExtensionKind{"hpp", "source"},       ExtensionKind{"hh", "source"},
    ExtensionKind{"py", "source"},        ExtensionKind{"rb", "source"},
    ExtensionKind{"pl", "source"},        ExtensionKind{"pm", "source"},
    ExtensionKind{"sh", "source"},        ExtensionKind{"java", "source"},
    ExtensionKind{"go", "source"},        ExtensionKind{"rs", "source"},
    ExtensionKind{"cs", "source"},        ExtensionKind{"swift", "source"},
    ExtensionKind{"kt", "source"},        ExtensionKind{"scala", "source"},
    ExtensionKind{"lua", "source"},       ExtensionKind{"el", "source"},
    ExtensionKind{"hs", "source"},        ExtensionKind{"ml", "source"},
    ExtensionKind{"cmake", "source"},     ExtensionKind{"mk", "source"},
    ExtensionKind{"m", "source"},         ExtensionKind{"f90", "source"},
};

struct MagicKind {
    std::string_view start;  // the file's first bytes
    std::string_view kind;
};

constexpr std::array kMagic{
    MagicKind{"\x89PNG\r\n\x1a\n"sv, "a PNG image"},
    MagicKind{"\xff\xd8\xff"sv, "a JPEG image"},
    MagicKind{"GIF87a"sv, "a GIF image"},
    MagicKind{"GIF89a"sv, "a GIF image"},
    MagicKind{"\x7f"
              "ELF"sv,
              "an executable (ELF)"},
    MagicKind{"MZ"sv, "a Windows executable"},
    MagicKind{"%PDF-"sv, "a PDF document"},
    MagicKind{"PK\x03\x04"sv, "a ZIP archive (or a document made of one)"},
    MagicKind{"\x00"
              "asm"sv,
              "a WebAssembly program"},
    MagicKind{"OggS"sv, "an Ogg audio or video file"},
    MagicKind{"ID3"sv, "an MP3 audio file"},
    MagicKind{"\x1a\x45\xdf\xa3"sv, "a Matroska or WebM video"},
    MagicKind{"!<arch>\n"sv, "an ar archive (a Debian package or a static library)"},
    MagicKind{"SQLite format 3"sv, "an SQLite database"},
    MagicKind{"wOFF"sv, "a web font"},
    MagicKind{"wOF2"sv, "a web font"},
};

std::string_view extensionOf(std::string_view name) {
    const size_t slash = name.find_last_of('/');
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return base.substr(dot + 1);
}

}  // namespace

std::string_view contentKindFromName(std::string_view name) {
    if (name.empty() || name.back() == '/') return "html";
    const std::string extension = asciiLowered(extensionOf(name));
    if (extension.empty()) return "other";
    for (const ExtensionKind& entry : kExtensions) {
        if (entry.extension == extension) return entry.kind;
    }
    return "other";
}

std::string_view binaryKindFromBytes(std::string_view head) {
    for (const MagicKind& entry : kMagic) {
        if (head.starts_with(entry.start)) return entry.kind;
    }
    // RIFF holds WAVE sound, AVI video and WebP pictures, told by the form at byte 8.
    if (head.starts_with("RIFF") && head.size() >= 12) {
        const std::string_view form = head.substr(8, 4);
        if (form == "WEBP") return "a WebP image";
        if (form == "WAVE") return "a WAVE audio file";
        if (form == "AVI ") return "an AVI video";
    }
    if (head.size() >= 8 && head.substr(4, 4) == "ftyp") return "an MP4 or QuickTime video";
    return "";
}

bool isHtmlName(std::string_view name) {
    if (!name.empty() && name.back() == '/') return true;
    const std::string extension = asciiLowered(extensionOf(name));
    return extension == "html" || extension == "htm" || extension == "xhtml" ||
           extension == "shtml";
}

std::string_view contentKindFromType(std::string_view contentType) {
    size_t end = contentType.find(';');
    std::string type = asciiLowered(contentType.substr(0, end));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
    size_t start = 0;
    while (start < type.size() && (type[start] == ' ' || type[start] == '\t')) ++start;
    type.erase(0, start);
    if (type.empty()) return "other";
    if (type == "text/html" || type == "application/xhtml+xml") return "html";
    if (type == "text/javascript" || type == "application/javascript" ||
        type == "application/ecmascript" || type == "text/x-c" || type == "text/x-python" ||
        type == "text/x-java-source") {
        return "source";
    }
    const size_t slash = type.find('/');
    const std::string_view major = std::string_view(type).substr(0, slash);
    if (major == "image") return "image";
    if (major == "text") return "text";
    if (major == "audio") return "audio";
    if (major == "video") return "video";
    if (major == "font") return "application";
    if (major == "application") {
        if (type == "application/json" || type == "application/xml" || type.ends_with("+xml") ||
            type.ends_with("+json")) {
            return "text";
        }
        return "application";
    }
    return "other";
}

}  // namespace orvo
