// Walks the parsed document with an explicit stack, so deeply nested markup cannot exhaust the
// call stack here.
#include "import/html_references.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>

#include "import/ascii_text.h"
#include "import/url.h"

namespace orvo {

namespace {

struct GumboOutputDeleter {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

bool holdsReference(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_IFRAME:
            return true;
        default:
            return false;
    }
}

bool isTagNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == ':' || c == '_';
}

// Elements that open no level: void elements and those closed implicitly by their siblings.
bool opensNoLevel(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "area",    "base",  "br",       "col",     "embed", "hr",   "img",    "input",
        "link",    "meta",  "param",    "source",  "track", "wbr",  "keygen", "basefont",
        "bgsound", "frame", "p",        "li",      "dt",    "dd",   "option", "optgroup",
        "tr",      "td",    "th",       "rb",      "rt",    "rp",   "rtc",    "tbody",
        "thead",   "tfoot", "colgroup", "caption", "head",  "body", "html"};
    for (const std::string_view n : kNames) {
        if (n == name) return true;
    }
    return false;
}

// Elements whose content is text up to their own end tag.
bool isRawText(std::string_view name) {
    return name == "script" || name == "style" || name == "textarea" || name == "title" ||
           name == "xmp" || name == "iframe" || name == "noembed" || name == "noframes";
}

bool isDroppedScheme(std::string_view target) {
    const std::string scheme = schemeOf(target);
    return scheme == "mailto" || scheme == "javascript" || scheme == "data";
}

void addAttribute(const GumboElement& element, const char* name, HtmlReferences& out) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    if (attribute == nullptr || attribute->value == nullptr) return;
    std::string value = attribute->value;
    if (isDroppedScheme(value)) return;
    out.targets.push_back(std::move(value));
}

}  // namespace

size_t nestingDepthEstimate(std::string_view html) {
    size_t depth = 0, deepest = 0;
    size_t i = 0;
    std::string name;
    while (i < html.size()) {
        const size_t lt = html.find('<', i);
        if (lt == std::string_view::npos) break;
        i = lt + 1;
        if (html.substr(lt, 4) == "<!--") {
            const size_t end = html.find("-->", lt + 4);
            i = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (i < html.size() && (html[i] == '!' || html[i] == '?')) {
            const size_t end = html.find('>', i);
            i = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        const bool closing = i < html.size() && html[i] == '/';
        if (closing) ++i;
        name.clear();
        while (i < html.size() && isTagNameChar(html[i])) name.push_back(asciiLower(html[i++]));
        if (name.empty()) continue;
        const size_t gt = html.find('>', i);
        const bool selfClosing = gt != std::string_view::npos && gt > i && html[gt - 1] == '/';
        i = gt == std::string_view::npos ? html.size() : gt + 1;
        if (opensNoLevel(name)) continue;
        if (closing) {
            if (depth > 0) --depth;
            continue;
        }
        if (selfClosing) continue;
        deepest = std::max(deepest, ++depth);
        if (isRawText(name)) {
            // Skip to the matching end tag, compared without regard to case.
            const std::string endTag = "</" + name;
            size_t k = i;
            for (; k + endTag.size() <= html.size(); ++k) {
                if (html[k] != '<') continue;
                size_t j = 0;
                while (j < endTag.size() && asciiLower(html[k + j]) == endTag[j]) ++j;
                if (j == endTag.size()) break;
            }
            i = k;
        }
    }
    return deepest;
}

HtmlReferences htmlReferences(std::string_view html) {
    HtmlReferences result;
    if (nestingDepthEstimate(html) > kMaxHtmlNesting) {
        result.tooDeep = true;
        return result;
    }
    std::unique_ptr<GumboOutput, GumboOutputDeleter> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()));
    if (!output) return result;

    bool baseSeen = false;
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_BASE && !baseSeen) {
            baseSeen = true;
            if (const GumboAttribute* href = gumbo_get_attribute(&element.attributes, "href")) {
                result.base = href->value;
            }
        } else if (holdsReference(element.tag)) {
            addAttribute(element, "href", result);
            addAttribute(element, "src", result);
        }
        // Children pushed last-first, so they come off the stack in document order.
        for (unsigned i = element.children.length; i > 0; --i) {
            stack.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
    return result;
}

}  // namespace orvo
