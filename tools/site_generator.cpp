// Site-shaped graph files. The site is a folder tree; every folder has an index page listing its
// pages, subfolders and orphans; every page lists its own files (images, text, ...), external
// pages, a few cross links and, now and then, a page of another folder that it is the first to
// mention. The outline is the crawl written in pre-order, so a page first mentioned elsewhere is
// listed again later under its own folder's page (the reader moves it there), and every cross link
// to a page already listed becomes a non-tree link.
#include "tools/site_generator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "tools/site_vocabulary.h"

namespace orvo {
namespace {

using namespace site;

enum class Kind : uint8_t { FolderPage, Page, Shared, External, Orphan, File };

struct Resource {
    uint32_t folder = 0;   // folder (external host for externals)
    uint32_t owner = 0;    // page that lists it (files and externals)
    uint32_t ordinal = 0;  // makes the name unique within its folder
    Kind kind = Kind::Page;
    uint8_t type = 0;  // file type (files, orphans)
    uint8_t stem = 0;
    uint8_t extension = 0;
};

struct Folder {
    uint32_t parent = 0;
    uint32_t depth = 0;
    uint32_t subfolders = 0;
    uint32_t pages = 0;
    uint32_t files = 0;
    uint32_t orphans = 0;
    std::string path;  // relative to the site, ends with '/' (empty for the root)
};

// Items grouped by a key, keeping their order: items of key k are items[start[k] .. start[k+1]).
struct Buckets {
    std::vector<uint32_t> start;
    std::vector<uint32_t> items;

    template <typename KeyOf>
    Buckets(size_t keys, uint32_t first, uint32_t end, KeyOf keyOf) : start(keys + 1, 0) {
        for (uint32_t i = first; i < end; ++i) ++start[keyOf(i) + 1];
        for (size_t k = 0; k < keys; ++k) start[k + 1] += start[k];
        items.resize(end - first);
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (uint32_t i = first; i < end; ++i) items[fill[keyOf(i)]++] = i;
    }
    const uint32_t* begin(uint32_t k) const { return items.data() + start[k]; }
    const uint32_t* end(uint32_t k) const { return items.data() + start[k + 1]; }
};

class SiteGenerator {
public:
    explicit SiteGenerator(const SiteOptions& options)
        : rng_(options.seed), nodes_(options.nodes < 1 ? 1 : options.nodes) {}

    SiteSummary write(std::ostream& out) {
        planCounts();
        makeFolders();
        makeResources();
        orderPages();
        planPreListings();
        emit(out);
        return summary_;
    }

private:
    void planCounts() {
        const int64_t n = nodes_;
        pages_ = std::clamp<int64_t>(n * 30 / 100, 1, n);
        folders_ = std::max<int64_t>(1, pages_ / 8);
        shared_ = std::min<int64_t>(kSharedFiles.size(), n - pages_);
        externals_ = std::min<int64_t>(n * 3 / 100, n - pages_ - shared_);
        orphans_ = std::min<int64_t>(n / 100, n - pages_ - shared_ - externals_);
        files_ = n - pages_ - shared_ - externals_ - orphans_;
        // About half as many repeated records as nodes: the moved pages and the cross links.
        preListings_ = std::min<int64_t>(pages_ - folders_, n / 80);
        crossLinks_ = std::max<int64_t>(0, n / 2 - preListings_);
    }

    // Breadth first, each folder getting a random number of subfolders around a mean that
    // keeps the tree about four folders deep at any size.
    void makeFolders() {
        folders.resize(folders_);
        const uint32_t meanSubfolders =
            std::max<uint32_t>(2, uint32_t(std::lround(std::pow(double(folders_), 0.25))));
        uint32_t made = 1;
        for (uint32_t parent = 0; parent < made && made < folders_; ++parent) {
            const uint32_t count = 1 + rng_.below(2 * meanSubfolders - 1);
            for (uint32_t k = 0; k < count && made < folders_; ++k, ++made) {
                Folder& p = folders[parent];
                const uint32_t ordinal = p.subfolders++;
                Folder& child = folders[made];
                child.parent = parent;
                child.depth = p.depth + 1;
                child.path = p.path;
                appendWord(child.path, kFolderWords[(parent * 7 + ordinal) % kFolderWords.size()],
                           ordinal, kFolderWords.size());
                child.path += '/';
            }
        }
    }

    uint8_t pickFileType() {
        uint32_t r = rng_.below(100);
        for (uint8_t t = 0; t < kFileTypes.size(); ++t) {
            if (r < kFileTypes[t].percent) return t;
            r -= kFileTypes[t].percent;
        }
        return kImage;
    }

    void makeResources() {
        resources.resize(nodes_);
        uint32_t i = 0;
        for (; i < folders_; ++i) resources[i] = {i, 0, 0, Kind::FolderPage};
        for (; i < pages_; ++i) {
            // Earlier (shallower) folders tend to hold more pages.
            const uint32_t folder = std::min(rng_.below(folders_), rng_.below(folders_));
            resources[i] = {folder, 0, folders[folder].pages++, Kind::Page};
        }
        firstShared_ = i;
        for (uint32_t s = 0; s < shared_; ++s, ++i) resources[i] = {0, 0, s, Kind::Shared};
        firstExternal_ = i;
        for (uint32_t e = 0; e < externals_; ++e, ++i) {
            const uint32_t host = e < kExternalHosts.size() ? e : rng_.below(kExternalHosts.size());
            resources[i] = {host, rng_.below(pages_), e, Kind::External};
        }
        firstOrphan_ = i;
        for (uint32_t o = 0; o < orphans_; ++o, ++i) {
            const uint32_t folder = rng_.below(folders_);
            Resource r{folder, 0, folders[folder].orphans++, Kind::Orphan};
            r.type = rng_.percent(20) ? kImage : kHtml;
            resources[i] = r;
        }
        firstFile_ = i;
        for (; i < nodes_; ++i) {
            const uint32_t owner = rng_.below(pages_);
            const uint32_t folder = resources[owner].folder;
            Resource r{folder, owner, folders[folder].files++, Kind::File};
            r.type = pickFileType();
            r.stem = uint8_t(rng_.below(kFileTypes[r.type].stemCount));
            r.extension = uint8_t(rng_.below(kFileTypes[r.type].extensionCount));
            resources[i] = r;
        }
    }

    // Pre-order of the pages as the crawl lists them: a folder's pages, then its subfolders.
    void orderPages() {
        Buckets folderPages(folders_, folders_, pages_,
                            [&](uint32_t p) { return resources[p].folder; });
        Buckets subfolders(folders_, 1, folders_, [&](uint32_t f) { return folders[f].parent; });
        pageOrder.reserve(pages_);
        position.assign(pages_, 0);
        std::vector<uint32_t> stack{0};
        while (!stack.empty()) {
            const uint32_t page = stack.back();
            stack.pop_back();
            position[page] = uint32_t(pageOrder.size());
            pageOrder.push_back(page);
            const uint32_t children = uint32_t(listedPages_.size());
            if (page < folders_) {
                listedPages_.insert(listedPages_.end(), folderPages.begin(page),
                                    folderPages.end(page));
                listedPages_.insert(listedPages_.end(), subfolders.begin(page),
                                    subfolders.end(page));
            }
            for (uint32_t k = uint32_t(listedPages_.size()); k > children; --k)
                stack.push_back(listedPages_[k - 1]);
            listedPages_.resize(children);
        }
    }

    // Pages first mentioned by a page the crawl reaches before their own folder's page.
    void planPreListings() {
        std::vector<uint8_t> chosen(pages_, 0);
        std::vector<uint32_t> pairsFrom, pairsTo;
        for (int64_t m = 0; m < preListings_; ++m) {
            for (int attempt = 0; attempt < 8; ++attempt) {
                const uint32_t page = folders_ + rng_.below(pages_ - folders_);
                const uint32_t lister = pageOrder[rng_.below(position[page])];
                if (chosen[page] || lister == resources[page].folder) continue;
                chosen[page] = 1;
                pairsFrom.push_back(lister);
                pairsTo.push_back(page);
                break;
            }
        }
        preListed_ = Buckets(pages_, 0, uint32_t(pairsFrom.size()),
                             [&](uint32_t k) { return pairsFrom[k]; });
        for (uint32_t& k : preListed_.items) k = pairsTo[k];
    }

    void appendId(std::string& out, uint32_t i) const {
        const Resource& r = resources[i];
        switch (r.kind) {
            case Kind::FolderPage:
                out += kSite;
                out += folders[r.folder].path;
                return;
            case Kind::Page: {
                const Folder& f = folders[r.folder];
                out += kSite;
                out += f.path;
                appendWord(out, kPageWords[(r.folder * 5 + r.ordinal) % kPageWords.size()],
                           r.ordinal, kPageWords.size());
                out += ".html";
                return;
            }
            case Kind::Shared:
                out += kSite;
                out += kSharedFiles[r.ordinal].name;
                return;
            case Kind::External:
                out += "http://";
                out += kExternalHosts[r.folder];
                out += '/';
                if (r.ordinal >= kExternalHosts.size()) {
                    out += kPageWords[r.ordinal % kPageWords.size()];
                    appendNumber(out, r.ordinal);
                    out += ".html";
                }
                return;
            case Kind::Orphan:
                out += kSite;
                out += folders[r.folder].path;
                out += kOrphanWords[r.ordinal % kOrphanWords.size()];
                appendNumber(out, r.ordinal);
                out += r.type == kImage ? ".gif" : ".html";
                return;
            case Kind::File: {
                const FileType& t = kFileTypes[r.type];
                out += kSite;
                out += folders[r.folder].path;
                out += t.stems[r.stem];
                appendNumber(out, r.ordinal);
                out += t.extensions[r.extension];
                return;
            }
        }
    }

    void appendGroups(std::string& out, uint32_t i) const {
        const Resource& r = resources[i];
        switch (r.kind) {
            case Kind::FolderPage:
            case Kind::Page:
                out += "html main";
                return;
            case Kind::Shared:
                out += kFileTypes[kSharedFiles[r.ordinal].type].group;
                out += " main";
                return;
            case Kind::External:
                out += r.ordinal < kExternalHosts.size() ? "host external" : "html external";
                return;
            case Kind::Orphan:
                out += r.type == kImage ? "image orphan" : "html orphan";
                return;
            case Kind::File:
                out += kFileTypes[r.type].group;
                out += " main";
                return;
        }
    }

    void appendRecord(std::string& out, uint32_t i, uint32_t level) {
        out.append(level, ' ');
        appendNumber(out, level);
        out += ' ';
        appendId(out, i);
        out += ' ';
        // The third field is read and discarded by the reader: a plausible size in bytes.
        appendNumber(out, 200 + (i * 2654435761u) % 60000);
        out += ' ';
        appendGroups(out, i);
        out += '\n';
        ++summary_.records;
        if (listed_[i]) ++summary_.repeatRecords;
        listed_[i] = 1;
    }

    // The cross links of one page: home, its folder's page, shared files, earlier pages.
    void appendCrossLinks(std::string& out, uint32_t page, uint32_t level) {
        if (page == 0) return;
        uint64_t count = crossLinks_ / pages_;
        if (rng_.below(pages_) < uint64_t(crossLinks_ % pages_)) ++count;
        targets_.clear();
        for (uint64_t k = 0; k < count; ++k) {
            for (int attempt = 0; attempt < 3; ++attempt) {
                const uint32_t r = rng_.below(100);
                uint32_t target;
                if (r < 25) {
                    target = 0;
                } else if (r < 40) {
                    const uint32_t folder = resources[page].folder;
                    target = page < folders_ ? folders[folder].parent : folder;
                } else if (r < 50 && shared_ > 0) {
                    target = firstShared_ + rng_.below(shared_);
                } else {
                    target = pageOrder[rng_.below(position[page])];
                }
                if (target == page ||
                    std::find(targets_.begin(), targets_.end(), target) != targets_.end())
                    continue;
                targets_.push_back(target);
                appendRecord(out, target, level);
                break;
            }
        }
    }

    void emit(std::ostream& out) {
        Buckets pageFiles(pages_, firstFile_, nodes_,
                          [&](uint32_t i) { return resources[i].owner; });
        Buckets pageExternals(pages_, firstExternal_, firstOrphan_,
                              [&](uint32_t i) { return resources[i].owner; });
        Buckets folderOrphans(folders_, firstOrphan_, firstFile_,
                              [&](uint32_t i) { return resources[i].folder; });
        Buckets folderPages(folders_, folders_, pages_,
                            [&](uint32_t p) { return resources[p].folder; });
        Buckets subfolders(folders_, 1, folders_, [&](uint32_t f) { return folders[f].parent; });
        listed_.assign(nodes_, 0);

        std::string buffer;
        constexpr size_t kFlushAt = 1 << 20;
        buffer.reserve(kFlushAt + 4096);
        auto flush = [&] {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            summary_.bytes += int64_t(buffer.size());
            buffer.clear();
        };

        struct Visit {
            uint32_t page, level;
        };
        std::vector<Visit> stack{{0, 0}};
        while (!stack.empty()) {
            const auto [page, level] = stack.back();
            stack.pop_back();
            appendRecord(buffer, page, level);
            const uint32_t below = level + 1;
            if (page == 0)
                for (uint32_t s = 0; s < shared_; ++s)
                    appendRecord(buffer, firstShared_ + s, below);
            for (const uint32_t* f = pageFiles.begin(page); f != pageFiles.end(page); ++f)
                appendRecord(buffer, *f, below);
            for (const uint32_t* e = pageExternals.begin(page); e != pageExternals.end(page); ++e)
                appendRecord(buffer, *e, below);
            if (page < folders_)
                for (const uint32_t* o = folderOrphans.begin(page); o != folderOrphans.end(page);
                     ++o)
                    appendRecord(buffer, *o, below);
            appendCrossLinks(buffer, page, below);
            for (const uint32_t* p = preListed_.begin(page); p != preListed_.end(page); ++p) {
                appendRecord(buffer, *p, below);
                ++summary_.preListings;
            }
            if (page < folders_) {
                for (const uint32_t* f = subfolders.end(page); f != subfolders.begin(page);)
                    stack.push_back({*--f, below});
                for (const uint32_t* p = folderPages.end(page); p != folderPages.begin(page);)
                    stack.push_back({*--p, below});
            }
            if (buffer.size() >= kFlushAt) flush();
        }
        appendHomePosition(buffer);
        flush();
        summary_.nodes = nodes_;
        if (!out) summary_.bytes = 0;
    }

    Rng rng_;
    int64_t nodes_;
    int64_t pages_ = 0, folders_ = 0, shared_ = 0, externals_ = 0, orphans_ = 0, files_ = 0;
    int64_t preListings_ = 0, crossLinks_ = 0;
    uint32_t firstShared_ = 0, firstExternal_ = 0, firstOrphan_ = 0, firstFile_ = 0;
    std::vector<Folder> folders;
    std::vector<Resource> resources;
    std::vector<uint32_t> pageOrder;  // pages in crawl order
    std::vector<uint32_t> position;   // page -> its place in pageOrder
    std::vector<uint32_t> listedPages_;
    std::vector<uint32_t> targets_;
    std::vector<uint8_t> listed_;
    Buckets preListed_{0, 0, 0, [](uint32_t) { return 0u; }};
    SiteSummary summary_;
};

}  // namespace

SiteSummary writeSiteGraph(std::ostream& out, const SiteOptions& options) {
    return SiteGenerator(options).write(out);
}

std::string generateSiteGraph(const SiteOptions& options, SiteSummary* summary) {
    std::ostringstream out;
    const SiteSummary written = writeSiteGraph(out, options);
    if (summary) *summary = written;
    return std::move(out).str();
}

bool writeSiteGraphFile(const std::string& path, const SiteOptions& options, SiteSummary* summary) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const SiteSummary written = writeSiteGraph(out, options);
    out.close();
    if (summary) *summary = written;
    if (!out) {
        if (errno == 0) errno = EIO;
        return false;
    }
    return true;
}

}  // namespace orvo
