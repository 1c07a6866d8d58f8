// An XML text split into opened elements and runs of complete elements, read a piece at a time.
#include "import/xml_runs.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <sstream>
#include <string>

#include "tests/graph_test_support.h"

namespace orvo {
namespace {

bool opensListsOfGraph(size_t depth, std::string_view name) {
    return (depth == 1 && name == "graph") || (depth == 2 && (name == "nodes" || name == "edges"));
}

// The events' shape ("<name" opened, ">name" closed, "R" for one or more runs, "." the end, "?"
// unsure), after checking that every event's text is the document's at its offset, that they
// follow one another without a gap from the root's start tag to its end tag, and that each run
// parses as a fragment of complete elements.
std::string shapeOf(const std::string& document, size_t runBytes) {
    std::istringstream in(document);
    XmlRuns runs(in, opensListsOfGraph, runBytes);
    std::string shape;
    uint64_t expectedOffset = std::string::npos;
    for (int guard = 0; guard < 1'000'000; ++guard) {
        const XmlRuns::Event e = runs.next();
        if (e.kind == XmlRuns::Event::End) return shape + ".";
        if (e.kind == XmlRuns::Event::Unsure) return shape + "?";
        const std::string text =
            e.kind == XmlRuns::Event::Run ? std::string(e.text, e.size) : std::string(e.tag);
        if (document.compare(e.offset, text.size(), text) != 0) return shape + " text differs";
        if (expectedOffset != std::string::npos && e.offset != expectedOffset)
            return shape + " gap at " + std::to_string(expectedOffset);
        expectedOffset = e.offset + text.size();
        if (e.kind == XmlRuns::Event::Run) {
            std::string copy = text;
            pugi::xml_document fragment;
            if (!fragment.load_buffer_inplace(copy.data(), copy.size(),
                                              pugi::parse_default | pugi::parse_fragment))
                return shape + " run does not parse: " + text;
            if (!shape.ends_with("R ")) shape += "R ";
            continue;
        }
        const size_t start = e.kind == XmlRuns::Event::Close ? 2 : 1;
        const std::string name = text.substr(start, text.find_first_of(" />", start) - start);
        shape += (e.kind == XmlRuns::Event::Open ? "<" : ">") + name + " ";
    }
    return shape + " no end";
}

TEST(XmlRuns, MarkupIsFoundWhereverTheTextIsCut) {
    // Markup-like text within comments, CDATA, processing instructions and attribute values;
    // nested and empty elements; namespace prefixes; an empty list.
    const std::string tricky =
        "<?xml version='1.0' encoding='utf-8'?>\n<!-- <graph> -->\n"
        "<g:gexf xmlns:g='x'><meta a='>'><c>x</c></meta><g:graph t=\"/>\"><g:nodes/><g:nodes>\n"
        "<node id='a>'/><!-- </g:nodes> --><node id='b'><attvalues><v x='</'/></attvalues></node>"
        "<![CDATA[</g:nodes>]]><?pi </g:nodes>?>text > more</g:nodes><g:edges><edge s='a'/>"
        "</g:edges ></g:graph><other/></g:gexf>\n<!-- after -->\n";
    const std::string trickyShape =
        "<g:gexf R <g:graph R <g:nodes R >g:nodes <g:edges R >g:edges >g:graph R >g:gexf .";
    // Long enough that its pieces are read, moved up and grown across the buffer's size.
    std::string large = "<gexf><graph><nodes>";
    for (int i = 0; i < 40'000; ++i) {
        large += "<node id='n" + std::to_string(i) + "'><!-- " + std::string(i % 97, '<') +
                 " --><p v='" + std::string(i % 53, '>') + "'/></node>\n";
        if (i % 1000 == 0) large += "<![CDATA[" + std::string(70'000, '<') + "]]>";
    }
    large += "</nodes></graph></gexf>";
    ASSERT_GT(large.size(), size_t{6} << 20);
    for (const size_t runBytes : {size_t{1}, size_t{100}, size_t{1} << 19}) {
        EXPECT_EQ(shapeOf(tricky, runBytes), trickyShape) << runBytes;
        EXPECT_EQ(shapeOf(large, runBytes), "<gexf <graph <nodes R >nodes >graph >gexf .")
            << runBytes;
    }
}

TEST(XmlRuns, WhatItDoesNotFollowIsUnsure) {
    EXPECT_TRUE(
        testing::answersMatch("import/xml_runs_unsure.txt",
                              [](const std::string& document) { return shapeOf(document, 1); }));
}

}  // namespace
}  // namespace orvo
