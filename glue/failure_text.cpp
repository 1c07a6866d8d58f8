// Failure messages that name their file or address once.
#include "glue/failure_text.h"

namespace orvo {

std::string failureText(std::string_view doing, std::string_view subject, std::string_view reason) {
    std::string text(doing);
    text += ' ';
    if (reason.find(subject) == std::string_view::npos) {
        text += '"';
        text += subject;
        text += "\": ";
    }
    text += reason;
    if (!text.ends_with('.')) text += '.';
    return text;
}

}  // namespace orvo
