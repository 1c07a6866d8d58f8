// The streamed site. Every count is a fixed share of the node count, and every node's place
// follows from its number:
// - folders form a tree numbered breadth first with a fixed fan-out (folder f's subfolders are
//   m f + 1 ... m f + m), so a folder's parent and name need no table;
// - pages, files, externals and orphans are spread evenly over the folders and pages that list
//   them (item i of n spread over k owners belongs to owner floor(i k / n)), so each owner's items
//   are one run of numbers;
// - a page of a subfolder is listed first by the page of the same rank in its parent folder when
//   a hash of its number says so, then again under its own folder's page (the reader moves it).
// The outline is written in pre-order, as a crawl lists it: a folder's page, what it lists, its
// pages with what each lists, then its subfolders.
#include "tools/streamed_site.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/site_vocabulary.h"

namespace orvo {
namespace {

using namespace site;

enum class Kind : uint8_t { Page, Shared, External, Orphan, File };

// A node as the outline names it: its kind and its number among those of its kind (pages are
// numbered as one run: folder f's own page is page f).
struct Item {
    Kind kind;
    uint64_t number;
    bool operator==(const Item&) const = default;
};

uint64_t mix(uint64_t seed, uint64_t value) {
    Rng rng(seed ^ (value * 0xD1B54A32D192ED03ull));
    return rng.next();
}

// The first of the items that owner k gets when n items are spread evenly over `owners`.
uint64_t firstOf(uint64_t n, uint64_t owners, uint64_t k) {
    return static_cast<uint64_t>((static_cast<unsigned __int128>(n) * k) / owners);
}

class StreamedSite {
public:
    StreamedSite(const SiteOptions& options, const StreamedSiteProgress& progress)
        : seed_(options.seed),
          rng_(options.seed),
          nodes_(static_cast<uint64_t>(std::clamp<int64_t>(options.nodes, 1, kStreamedSiteMaxNodes))),
          progress_(progress) {
        const uint64_t n = nodes_;
        pages_ = std::clamp<uint64_t>(n * 30 / 100, 1, n);
        folders_ = std::max<uint64_t>(1, pages_ / 8);
        shared_ = std::min<uint64_t>(kSharedFiles.size(), n - pages_);
        externals_ = std::min<uint64_t>(n * 3 / 100, n - pages_ - shared_);
        orphans_ = std::min<uint64_t>(n / 100, n - pages_ - shared_ - externals_);
        files_ = n - pages_ - shared_ - externals_ - orphans_;
        fanOut_ = std::max<uint64_t>(2, uint64_t(std::lround(std::pow(double(folders_), 0.25))));
        // About half as many repeated records as nodes: the moved pages and the cross links.
        const uint64_t movable = pages_ - folders_ - (pagesEnd(0) - pagesBegin(0));
        const uint64_t moves = std::min<uint64_t>(movable, n / 80);
        movePerMille_ = movable == 0 ? 0 : std::min<uint64_t>(1000, moves * 1000 / movable);
        crossLinks_ = n / 2 > moves ? n / 2 - moves : 0;
    }

    SiteSummary write(std::ostream& out) {
        out_ = &out;
        buffer_.reserve(kFlushAt + 4096);
        walkFolders();
        appendHomePosition(buffer_);
        flush();
        summary_.nodes = int64_t(nodes_);
        if (!out) summary_.bytes = 0;
        return summary_;
    }

private:
    static constexpr size_t kFlushAt = 1 << 20;

    // A folder on the way down from the root: where its name ends in path_, and which of its
    // subfolders comes next.
    struct Frame {
        uint64_t folder;
        uint64_t nextChild;
        size_t pathLength;
        uint32_t level;
    };

    uint64_t pagesBegin(uint64_t f) const {
        return folders_ + firstOf(pages_ - folders_, folders_, f);
    }
    uint64_t pagesEnd(uint64_t f) const { return pagesBegin(f + 1); }
    uint64_t childrenBegin(uint64_t f) const { return std::min(folders_, fanOut_ * f + 1); }
    uint64_t childrenEnd(uint64_t f) const { return std::min(folders_, fanOut_ * f + fanOut_ + 1); }
    uint64_t folderOfPage(uint64_t page) const {
        if (page < folders_) return page;
        // The last folder whose first page is at or before this one.
        const uint64_t rank = page - folders_;
        uint64_t f = static_cast<uint64_t>(
            (static_cast<unsigned __int128>(rank) * folders_) / (pages_ - folders_));
        while (f > 0 && pagesBegin(f) > page) --f;
        while (f + 1 < folders_ && pagesBegin(f + 1) <= page) ++f;
        return f;
    }

    void walkFolders() {
        stack_.push_back({0, childrenBegin(0), 0, 0});
        listFolder(0, 0);
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.nextChild >= childrenEnd(top.folder)) {
                stack_.pop_back();
                continue;
            }
            const uint64_t child = top.nextChild++;
            const uint32_t level = top.level + 1;  // `top` goes with the push below
            path_.resize(top.pathLength);
            appendFolderName(path_, child);
            stack_.push_back({child, childrenBegin(child), path_.size(), level});
            listFolder(child, level);
        }
    }

    void appendFolderName(std::string& out, uint64_t folder) const {
        const uint64_t parent = (folder - 1) / fanOut_, ordinal = (folder - 1) % fanOut_;
        appendWord(out, kFolderWords[(parent * 7 + ordinal) % kFolderWords.size()],
                   uint32_t(ordinal), kFolderWords.size());
        out += '/';
    }

    // The folder's page and what it lists, then its pages and what each lists.
    void listFolder(uint64_t f, uint32_t level) {
        appendRecord({Kind::Page, f}, level);
        if (f == 0)
            for (uint64_t s = 0; s < shared_; ++s) appendRecord({Kind::Shared, s}, level + 1);
        listUnderPage(f, level + 1);
        for (uint64_t o = firstOf(orphans_, folders_, f); o < firstOf(orphans_, folders_, f + 1); ++o)
            appendRecord({Kind::Orphan, o}, level + 1);
        for (uint64_t p = pagesBegin(f); p < pagesEnd(f); ++p) {
            appendRecord({Kind::Page, p}, level + 1);
            listUnderPage(p, level + 2);
        }
        if (buffer_.size() >= kFlushAt) flush();
    }

    void listUnderPage(uint64_t page, uint32_t level) {
        for (uint64_t i = firstOf(files_, pages_, page); i < firstOf(files_, pages_, page + 1); ++i)
            appendRecord({Kind::File, i}, level);
        for (uint64_t e = firstOf(externals_, pages_, page);
             e < firstOf(externals_, pages_, page + 1); ++e)
            appendRecord({Kind::External, e}, level);
        appendCrossLinks(page, level);
        appendFirstListings(page, level);
    }

    // Home, the folder's (or parent folder's) page, shared files and pages listed before.
    void appendCrossLinks(uint64_t page, uint32_t level) {
        if (page == 0) return;
        uint64_t count = crossLinks_ / pages_;
        if (rng_.below(pages_) < crossLinks_ % pages_) ++count;
        targets_.clear();
        const uint64_t folder = stack_.back().folder;
        for (uint64_t k = 0; k < count; ++k) {
            for (int attempt = 0; attempt < 3; ++attempt) {
                const uint32_t r = rng_.below(100);
                Item target{Kind::Page, 0};
                if (r < 25) {
                    target.number = 0;
                } else if (r < 40) {
                    target.number = page == folder && folder > 0 ? (folder - 1) / fanOut_ : folder;
                } else if (r < 50 && shared_ > 0) {
                    target = {Kind::Shared, rng_.below(shared_)};
                } else {
                    target.number = earlierPage(page);
                }
                if (target == Item{Kind::Page, page} ||
                    std::find(targets_.begin(), targets_.end(), target) != targets_.end())
                    continue;
                targets_.push_back(target);
                appendRecord(target, level);
                break;
            }
        }
    }

    // A page listed before this one: of a folder on the way down to it, or of its own folder and
    // before it.
    uint64_t earlierPage(uint64_t page) {
        const uint64_t g = stack_[rng_.below(stack_.size())].folder;
        uint64_t end = pagesEnd(g);
        if (g == stack_.back().folder) end = page >= folders_ ? page : pagesBegin(g);
        const uint64_t choices = 1 + (end - pagesBegin(g));
        const uint64_t pick = rng_.below(choices);
        return pick == 0 ? g : pagesBegin(g) + pick - 1;
    }

    // Pages of the subfolders that this page is the first to mention: the page of the same rank
    // in each subfolder, when its hash says so.
    void appendFirstListings(uint64_t page, uint32_t level) {
        if (page < folders_) return;
        const uint64_t folder = stack_.back().folder;
        const uint64_t rank = page - pagesBegin(folder);
        for (uint64_t c = childrenBegin(folder); c < childrenEnd(folder); ++c) {
            const uint64_t candidate = pagesBegin(c) + rank;
            if (candidate < pagesEnd(c) && isListedFirstElsewhere(candidate)) {
                appendRecord({Kind::Page, candidate}, level);
                ++summary_.preListings;
            }
        }
    }

    bool isListedFirstElsewhere(uint64_t page) const {
        return mix(seed_, page) % 1000 < movePerMille_;
    }

    // The path of a page's folder: the current folder's path or a prefix of it, or, for a page
    // listed first by a page of the parent folder, that path and the subfolder's name.
    void appendFolderPath(std::string& out, uint64_t folder) const {
        for (const Frame& frame : stack_) {
            if (frame.folder == folder) {
                out.append(path_, 0, frame.pathLength);
                return;
            }
        }
        out += path_;
        appendFolderName(out, folder);
    }

    void appendId(std::string& out, const Item& item) const {
        const uint64_t n = item.number;
        switch (item.kind) {
            case Kind::Page: {
                const uint64_t f = folderOfPage(n);
                out += kSite;
                appendFolderPath(out, f);
                if (n < folders_) return;
                const uint64_t ordinal = n - pagesBegin(f);
                appendWord(out, kPageWords[(f * 5 + ordinal) % kPageWords.size()],
                           uint32_t(ordinal), kPageWords.size());
                out += ".html";
                return;
            }
            case Kind::Shared:
                out += kSite;
                out += kSharedFiles[n].name;
                return;
            case Kind::External: {
                const uint64_t host = n < kExternalHosts.size() ? n : mix(seed_, n) % kExternalHosts.size();
                out += "http://";
                out += kExternalHosts[host];
                out += '/';
                if (n >= kExternalHosts.size()) {
                    out += kPageWords[n % kPageWords.size()];
                    appendNumber(out, n);
                    out += ".html";
                }
                return;
            }
            case Kind::Orphan:
                out += kSite;
                out += path_;
                out += kOrphanWords[n % kOrphanWords.size()];
                appendNumber(out, n);
                out += orphanIsImage(n) ? ".gif" : ".html";
                return;
            case Kind::File: {
                const uint64_t h = mix(seed_ + 1, n);
                const FileType& t = kFileTypes[fileType(n)];
                out += kSite;
                out += path_;
                out += t.stems[(h >> 8) % t.stemCount];
                appendNumber(out, n);
                out += t.extensions[(h >> 16) % t.extensionCount];
                return;
            }
        }
    }

    bool orphanIsImage(uint64_t orphan) const { return mix(seed_ + 2, orphan) % 100 < 20; }

    uint8_t fileType(uint64_t file) const {
        uint64_t r = mix(seed_ + 1, file) % 100;
        for (uint8_t t = 0; t < kFileTypes.size(); ++t) {
            if (r < kFileTypes[t].percent) return t;
            r -= kFileTypes[t].percent;
        }
        return kImage;
    }

    void appendGroups(std::string& out, const Item& item) const {
        switch (item.kind) {
            case Kind::Page:
                out += "html main";
                return;
            case Kind::Shared:
                out += kFileTypes[kSharedFiles[item.number].type].group;
                out += " main";
                return;
            case Kind::External:
                out += item.number < kExternalHosts.size() ? "host external" : "html external";
                return;
            case Kind::Orphan:
                out += orphanIsImage(item.number) ? "image orphan" : "html orphan";
                return;
            case Kind::File:
                out += kFileTypes[fileType(item.number)].group;
                out += " main";
                return;
        }
    }

    void appendRecord(const Item& item, uint32_t level) {
        buffer_.append(level, ' ');
        appendNumber(buffer_, level);
        buffer_ += ' ';
        appendId(buffer_, item);
        buffer_ += ' ';
        // The third field is read and discarded by the reader: a plausible size in bytes.
        appendNumber(buffer_, 200 + mix(seed_ + 3, item.number * 8 + uint64_t(item.kind)) % 60000);
        buffer_ += ' ';
        appendGroups(buffer_, item);
        buffer_ += '\n';
        ++summary_.records;
    }

    void flush() {
        out_->write(buffer_.data(), std::streamsize(buffer_.size()));
        summary_.bytes += int64_t(buffer_.size());
        buffer_.clear();
        if (progress_) progress_(summary_.records);
    }

    uint64_t seed_;
    Rng rng_;
    uint64_t nodes_;
    uint64_t pages_ = 0, folders_ = 0, shared_ = 0, externals_ = 0, orphans_ = 0, files_ = 0;
    uint64_t fanOut_ = 2, movePerMille_ = 0, crossLinks_ = 0;
    const StreamedSiteProgress& progress_;
    std::ostream* out_ = nullptr;
    std::string buffer_;
    std::string path_;  // the current folder's, relative to the site
    std::vector<Frame> stack_;
    std::vector<Item> targets_;
    SiteSummary summary_;
};

}  // namespace

SiteSummary writeStreamedSite(std::ostream& out, const SiteOptions& options,
                              const StreamedSiteProgress& progress) {
    StreamedSite site(options, progress);
    SiteSummary summary = site.write(out);
    summary.repeatRecords = summary.records - summary.nodes;
    return summary;
}

}  // namespace orvo
