// Node and edge ids (and node labels) written as records into a chunk, for an edge graph to take
// on another thread in the order they were written: a kind, then each id or label as its length
// and its bytes; and how far the input had been read.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "import/edge_graph.h"
#include "stream/chunk_pipe.h"

namespace orvo {

class IdRecords {
public:
    void setChunk(ChunkPipe::Chunk& chunk) { chunk_ = &chunk; }
    void addNode(std::string_view id) {
        chunk_->push_back(kNode);
        put(id);
    }
    void addNode(std::string_view id, std::string_view label) {
        chunk_->push_back(kLabelledNode);
        put(id);
        put(label);
    }
    void addEdge(std::string_view from, std::string_view to, bool undirected) {
        chunk_->push_back(undirected ? kUndirectedEdge : kEdge);
        put(from);
        put(to);
    }
    void readTo(uint64_t offset) {
        chunk_->push_back(kReadTo);
        put(&offset, sizeof offset);
    }

    /// Adds the nodes and edges of the records to the graph; `readTo` becomes the last offset
    /// they name. Returns the count of nodes and edges.
    static uint64_t replay(const ChunkPipe::Chunk& chunk, EdgeGraph& graph, uint64_t& readTo) {
        uint64_t count = 0;
        for (size_t at = 0; at < chunk.size();) {
            const char kind = chunk[at++];
            const auto take = [&](void* into, size_t bytes) {
                std::memcpy(into, chunk.data() + at, bytes);
                at += bytes;
            };
            const auto id = [&] {
                size_t size = 0;
                take(&size, sizeof size);
                at += size;
                return std::string_view(chunk.data() + at - size, size);
            };
            if (kind == kReadTo) {
                take(&readTo, sizeof readTo);
                continue;
            }
            ++count;
            if (kind == kNode) {
                graph.addNode(id());
            } else if (kind == kLabelledNode) {
                const std::string_view node = id();
                graph.addNode(node, id());
            } else {
                const std::string_view from = id();
                graph.addEdge(from, id(), kind == kUndirectedEdge);
            }
        }
        graph.flushEdges();  // before the chunk goes back
        return count;
    }

private:
    static constexpr char kNode = 'n', kLabelledNode = 'l', kEdge = 'e', kUndirectedEdge = 'u',
                          kReadTo = 'r';

    void put(const void* bytes, size_t size) {
        const char* from = static_cast<const char*>(bytes);
        chunk_->insert(chunk_->end(), from, from + size);
    }
    void put(std::string_view id) {
        const size_t size = id.size();
        put(&size, sizeof size);
        put(id.data(), size);
    }

    ChunkPipe::Chunk* chunk_ = nullptr;
};

}  // namespace orvo
