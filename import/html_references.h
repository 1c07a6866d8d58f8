// The references a web page holds, read with a real HTML parser: the href or src of every a,
// img, link, script, frame and iframe element, in document order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvo {

struct HtmlReferences {
    /// The href of the page's first base element, when it has one: relative references resolve
    /// against it instead of the page's own address.
    std::string base;
    /// Reference texts as written (entities decoded), mailto:, javascript: and data: left out.
    std::vector<std::string> targets;
    /// Set when the page nests elements too deeply to be parsed in reasonable time (the HTML
    /// parser's work grows much faster than the depth); targets is then empty.
    bool tooDeep = false;
};

/// Elements nested deeper than this (as estimated by nestingDepthEstimate) are not parsed.
constexpr size_t kMaxHtmlNesting = 1000;

/// A quick estimate of how deep the page nests elements: start tags of elements that need an
/// end tag open a level, end tags close one; void elements, elements that close themselves
/// implicitly (p, li, td, ...), comments and the text of script and style do not count.
size_t nestingDepthEstimate(std::string_view html);

/// Parses the page (any bytes; broken markup is read as browsers read it).
HtmlReferences htmlReferences(std::string_view html);

}  // namespace orvo
