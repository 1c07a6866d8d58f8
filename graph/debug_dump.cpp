// The debug output of a load: the summary line on standard error and the tree text with the
// non-tree links, written to "/tmp/corvane".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <vector>

#include "graph/graph.h"

namespace orvo {

namespace {

void appendNumber(std::string& out, int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// "<depth> <id> <shown>  <group> <group>...\n"; the id and groups are those of `node`.
void appendLine(const Graph& g, std::string& out, int64_t depth, const Node& node, bool shown) {
    appendNumber(out, depth);
    out += ' ';
    out += node.id;
    out += shown ? " 1 " : " 0 ";
    for (GroupNameId name : g.groupsOf(node)) {
        out += ' ';
        out += g.groupName(name);
    }
    out += '\n';
}

}  // namespace

std::string Graph::summaryAndDump() const {
    if (debugLevel != 0) {
        std::fprintf(stderr, "loaded %d nodes, %d links\n", static_cast<int>(nodes.size()),
                     static_cast<int>(links.size()));
    }
    if (root == nullptr) return {};
    return dumpSubtree(*root, root->level);
}

std::string Graph::dumpSubtree(const Node& n, int depth) const {
    // Pre-order with an explicit stack: a node's line, its children's subtrees, then its
    // outgoing non-tree links one level deeper.
    struct Frame {
        const Node* node;
        int64_t depth;
        size_t nextChild;
    };
    std::string out;
    std::vector<Frame> stack;
    appendLine(*this, out, depth, n, n.isShown());
    stack.push_back({&n, depth, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.nextChild < top.node->children.size()) {
            const Node* child = top.node->children[top.nextChild++];
            const int64_t childDepth = top.depth + 1;
            appendLine(*this, out, childDepth, *child, child->isShown());
            stack.push_back({child, childDepth, 0});  // may move `top`: not used below
            continue;
        }
        for (const Link* l : top.node->outLinks) {
            appendLine(*this, out, top.depth + 1, *l->toNode, l->isShown());
        }
        stack.pop_back();
    }
    return out;
}

void Graph::writeDebugFile(const std::string& text) { writeDebugFileTo("/tmp/corvane", text); }

bool Graph::writeDebugFileTo(const char* path, const std::string& text) {
    // No O_TRUNC: the file is truncated only once it is known to be our own regular file. A
    // planted symbolic link fails with O_NOFOLLOW, a planted FIFO cannot block with O_NONBLOCK.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
              ::ftruncate(fd, 0) == 0;
    const char* data = text.data();
    size_t left = ok ? text.size() : 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            ok = false;
            break;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    ::close(fd);
    return ok;
}

}  // namespace orvo
