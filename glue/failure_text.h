// The one-line message of a failure that names what failed once.
#pragma once

#include <string>
#include <string_view>

namespace orvo {

/// `Cannot open "PATH": REASON`, made of the doing ("Cannot open"), what it was done to and the
/// reason. A reason that already names its subject (an importer's "PATH:LINE: what", a crawl's
/// "ADDRESS: what") is given as it is after the doing, so the subject shows once. A reason
/// without a full stop at its end gets one.
std::string failureText(std::string_view doing, std::string_view subject, std::string_view reason);

}  // namespace orvo
