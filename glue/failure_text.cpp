// Failure messages that name their file or address once.
#include "glue/failure_text.h"

namespace orvo {

namespace {

// A folder or an address may come back from an importer or a crawl with or without its
// trailing slash.
std::string_view withoutTrailingSlashes(std::string_view subject) {
    while (subject.size() > 1 && subject.back() == '/') subject.remove_suffix(1);
    return subject;
}

}  // namespace

std::string failureText(std::string_view doing, std::string_view subject, std::string_view reason) {
    const std::string_view name = withoutTrailingSlashes(subject);
    std::string text(doing);
    text += ' ';
    if (name.empty() || reason.find(name) == std::string_view::npos) {
        text += '"';
        text += subject;
        text += "\": ";
    }
    text += reason;
    if (!text.ends_with('.')) text += '.';
    return text;
}

}  // namespace orvo
