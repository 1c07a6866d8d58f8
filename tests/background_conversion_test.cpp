// The in-memory pipe between two threads and a conversion read while it runs: the text whole and
// in order, either side stopping without leaving the other waiting, a real import read this way.
#include "stream/background_conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "crawl/import_graph.h"
#include "graph/graph.h"
#include "import/import_converter.h"
#include "settings/viewer_settings.h"
#include "stream/chunk_pipe.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using namespace testing;
using namespace std::chrono_literals;

std::string patternText(size_t bytes) {
    std::string text;
    text.reserve(bytes);
    for (size_t i = 0; text.size() < bytes; ++i) text += std::to_string(i) + (i % 7 ? ' ' : '\n');
    text.resize(bytes);
    return text;
}

std::string readAll(std::istream& in) {
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Small chunks, so that the writer runs into a full pipe again and again, written in single bytes,
// short and long pieces.
TEST(ChunkPipeTest, CarriesTheTextWholeAndInOrder) {
    const std::string text = patternText(200'003);
    ChunkPipe pipe(97, 2);
    std::thread writer([&] {
        ChunkPipeWriteBuffer buffer(pipe);
        std::ostream out(&buffer);
        size_t at = 0;
        for (size_t piece = 1; at < text.size(); piece = piece * 3 % 1000 + 1) {
            const size_t part = std::min(piece, text.size() - at);
            part == 1 ? out.put(text[at]) : out.write(text.data() + at, std::streamsize(part));
            at += part;
            if (piece % 5 == 0) out.flush();
        }
        EXPECT_TRUE(out.good());
        EXPECT_EQ(buffer.bytesWritten(), text.size());
        EXPECT_TRUE(buffer.close());
    });
    ChunkPipeReadBuffer buffer(pipe, nullptr, 1ms);
    std::istream in(&buffer);
    const std::string got = readAll(in);
    writer.join();
    EXPECT_TRUE(got == text) << got.size() << " bytes of " << text.size();
    EXPECT_EQ(buffer.bytesTaken(), text.size());
}

// A silent writer keeps the reader asking goOn, which can end the stream; a writer that comes late
// finds the reader gone.
TEST(ChunkPipeTest, TheReaderWaitsWhileAskedAndEndsWhenTold) {
    ChunkPipe pipe;
    int asked = 0;
    ChunkPipeReadBuffer buffer(
        pipe, [&asked] { return ++asked < 3; }, 1ms);
    std::istream in(&buffer);
    EXPECT_EQ(in.get(), std::char_traits<char>::eof());
    EXPECT_EQ(asked, 3);
    ChunkPipeWriteBuffer late(pipe);
    std::ostream(&late) << "too late\n";
    EXPECT_FALSE(late.close());
}

InputConverter converterOf(auto convert) {
    InputConverter converter;
    converter.accepts = [](const std::string&) { return true; };
    converter.convert = [convert](const std::string&, std::ostream& out,
                                  const ConversionProgress& p, const std::atomic<bool>* cancel) {
        return convert(out, p, cancel);
    };
    return converter;
}

// How a conversion ends reaches the reading side: text, size, progress, warnings; a throw's
// reason; a stop while it works; a conversion dropped unread does not hang.
TEST(BackgroundConversionTest, TheReaderLearnsHowTheConversionEnded) {
    const std::string text = patternText(3'000'000);
    {
        BackgroundConversion conversion(
            converterOf([&](std::ostream& out, const ConversionProgress& progress, auto) {
                progress(7, 9);
                out << text;
                return ConversionResult{true, false, "", {"one left out"}};
            }),
            "input", nullptr);
        EXPECT_TRUE(readAll(conversion.stream()) == text);
        EXPECT_TRUE(conversion.finished());  // the text ends only after the conversion did
        EXPECT_EQ(conversion.bytesWritten(), text.size());
        EXPECT_EQ(conversion.done(), 7u);
        EXPECT_EQ(conversion.total(), 9u);
        const ConversionResult result = conversion.result();
        EXPECT_TRUE(result.ok && !result.cancelled);
        EXPECT_EQ(result.warnings, std::vector<std::string>{"one left out"});
    }
    {
        BackgroundConversion conversion(
            converterOf([](std::ostream& out, auto&, auto) -> ConversionResult {
                out << "0 a 0\n";
                throw std::runtime_error("the disk went away");
            }),
            "input", nullptr);
        readAll(conversion.stream());
        EXPECT_FALSE(conversion.result().ok);
        EXPECT_EQ(conversion.result().error, "the disk went away");
    }
    {
        // The asks are counted once the text is out, however late the converter's thread runs.
        int asked = 0;
        std::atomic<bool> written{false};
        BackgroundConversion conversion(
            converterOf([&written](std::ostream& out, auto&, const std::atomic<bool>* cancel) {
                out << "0 a 0\n" << std::flush;
                written = true;
                while (!cancel->load()) std::this_thread::sleep_for(1ms);
                return ConversionResult{false, true, "", {}};
            }),
            "input", [&asked, &written] { return !written.load() || ++asked < 5; }, 1ms);
        EXPECT_EQ(readAll(conversion.stream()), "0 a 0\n");
        EXPECT_EQ(asked, 5);
        conversion.stop();
        EXPECT_TRUE(conversion.result().cancelled);
    }
    std::atomic<bool> streamFailed{false};
    {
        BackgroundConversion conversion(converterOf([&](std::ostream& out, auto&, auto) {
                                            for (int i = 0; i < 20 && out; ++i) out << text;
                                            streamFailed = !out;
                                            return ConversionResult{bool(out), false, "", {}};
                                        }),
                                        "input", nullptr);
        char first[10];
        conversion.stream().read(first, sizeof first);
    }  // dropped with 60 MB still to write: the converter is released, not waited for
    EXPECT_TRUE(streamFailed);  // its stream failed, not a sink that swallows the rest
}

// An edge list imported from a pipe (which cannot tell its size) while it is read gives the graph
// its whole outline text gives.
TEST(BackgroundConversionTest, AnImportFromAPipeReadAsItIsWrittenGivesTheSameGraph) {
    TempDir dir;
    const std::string csv = dir / "links.csv", fifo = dir / "piped.csv";
    std::string edges = "from,to\n";
    for (int i = 1; i < 30'000; ++i) {
        edges += "n" + std::to_string(i / 3) + ",n" + std::to_string(i) + "\n";
        if (i % 5 == 0) edges += "n" + std::to_string(i) + ",n" + std::to_string(i / 7) + "\n";
    }
    writeWholeFile(csv, edges);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeWholeFile(fifo, edges); });

    std::ostringstream whole;
    ASSERT_TRUE(importGraph(csv, ImportFormat::Csv, {}, whole).ok);
    std::istringstream wholeIn(whole.str());
    ViewerSettings settings, streamedSettings;
    Graph expected(settings, wholeIn);
    BackgroundConversion conversion(importConverter(), fifo, nullptr);
    Graph streamed(streamedSettings, conversion.stream());
    writer.join();
    ASSERT_TRUE(conversion.result().ok);
    EXPECT_EQ(conversion.bytesWritten(), whole.str().size());
    EXPECT_EQ(streamed.nodes.size(), 30'000u);
    EXPECT_TRUE(describe(streamed) == describe(expected));
}

}  // namespace
}  // namespace orvo
