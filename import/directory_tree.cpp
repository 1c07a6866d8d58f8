// Any directory as a tree: every folder and file one node with a file:// id, folders listed
// with an explicit stack (a million files, any depth), entries sorted by name. Symbolic links
// are never followed: one whose target is inside the tree is a further reference to the target,
// any other a leaf of its own.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "import/content_kind.h"
#include "import/readers.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "import/warnings.h"

namespace orvo {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) return {};
    return buffer;
}

std::string joinId(std::string_view parentId, std::string_view encodedName) {
    std::string id(parentId);
    if (id.empty() || id.back() != '/') id.push_back('/');
    id.append(encodedName);
    return id;
}

struct PendingLink {
    SiteGraph::Index folder;
    std::string linkId;    // the link's own id, should it become a leaf
    std::string targetId;  // empty when the target is outside the tree or missing
    std::string name;
};

}  // namespace

ImportResult importDirectoryTree(const std::string& directory, const ImportOptions& /*options*/,
                                 std::ostream& out, const ImportProgress& progress) {
    ImportResult result;
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolute = fs::absolute(directory, error).lexically_normal();
    std::string rootPath = absolute.string();
    while (rootPath.size() > 1 && rootPath.back() == '/') rootPath.pop_back();
    struct stat st {};
    if (::stat(rootPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        result.error = directory + ": not a directory";
        return result;
    }
    const std::string rootReal = realPath(rootPath);
    const std::string rootId = "file://" + percentEncodePath(rootPath);

    SiteGraph graph;
    const SiteGraph::Index root = graph.intern(rootId);
    graph.setRoot(root);
    graph.setGroup(root, 0, "folder");

    struct Folder {
        SiteGraph::Index node;
        std::string path;
    };
    std::vector<Folder> stack{{root, rootPath}};
    std::vector<PendingLink> links;
    std::vector<std::pair<std::string, unsigned char>> entries;
    uint64_t listed = 0;
    while (!stack.empty()) {
        Folder folder = std::move(stack.back());
        stack.pop_back();
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.path.c_str()));
        if (!dir) {
            addWarning(result,
                       folder.path + ": cannot be listed (" + std::strerror(errno) + "), skipped");
            continue;
        }
        entries.clear();
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            entries.emplace_back(name, entry->d_type);
        }
        dir.reset();
        std::sort(entries.begin(), entries.end());
        std::vector<Folder> subfolders;
        const std::string folderId(graph.id(folder.node));
        for (auto& [name, type] : entries) {
            const std::string path = folder.path == "/" ? "/" + name : folder.path + "/" + name;
            if (type == DT_UNKNOWN) {
                struct stat entryStat {};
                if (::lstat(path.c_str(), &entryStat) != 0) {
                    addWarning(result, path + ": " + std::strerror(errno) + ", skipped");
                    continue;
                }
                type = S_ISDIR(entryStat.st_mode)   ? DT_DIR
                       : S_ISLNK(entryStat.st_mode) ? DT_LNK
                                                    : DT_REG;
            }
            const std::string id = joinId(folderId, percentEncodePath(name));
            if (type == DT_LNK) {
                PendingLink link{folder.node, id, {}, name};
                const std::string target = realPath(path);
                if (!target.empty() && (target == rootReal || target.starts_with(rootReal + "/"))) {
                    link.targetId =
                        target == rootReal
                            ? rootId
                            : joinId(rootId, percentEncodePath(target.substr(rootReal.size() + 1)));
                }
                links.push_back(std::move(link));
                continue;
            }
            const SiteGraph::Index n = graph.intern(id);
            graph.attach(folder.node, n);
            if (type == DT_DIR) {
                graph.setGroup(n, 0, "folder");
                subfolders.push_back({n, path});
            } else {
                graph.setGroup(n, 0, contentKindFromName(name));
            }
            if (++listed % 65536 == 0) {
                progress(listed, 0, "listing");
                if (progress.cancelled()) {
                    result.cancelled = true;
                    return result;
                }
            }
        }
        // Pushed last-first so that folders are listed in name order.
        for (auto f = subfolders.rbegin(); f != subfolders.rend(); ++f) {
            stack.push_back(std::move(*f));
        }
    }

    for (PendingLink& link : links) {
        const SiteGraph::Index target =
            link.targetId.empty() ? SiteGraph::kNone : graph.find(link.targetId);
        if (target != SiteGraph::kNone && graph.inTree(target)) {
            graph.addFurtherReference(link.folder, target);
            continue;
        }
        bool created = false;
        const SiteGraph::Index n = graph.intern(link.linkId, &created);
        if (!created) continue;
        graph.attach(link.folder, n);
        graph.setGroup(n, 0, contentKindFromName(link.name));
        graph.setGroup(n, 1, "link");
    }

    return writeAndFinishRead(graph, out, progress, result);
}

}  // namespace orvo
