// What there is to choose when a file is imported (its format, whether its first line is a header,
// the attribute that groups its nodes, the root, the direction), read from the file's head, and
// the first lines to show beside the choices. The window's import dialog is built on it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/import.h"

namespace orvo {

/// How a file is imported: its format and the options chosen for it.
struct ImportChoice {
    ImportFormat format = ImportFormat::Outline;
    ImportOptions options;
};

/// A choice of the group list: how it reads, and the value ImportOptions::group takes for it.
struct GroupChoice {
    std::string label;
    std::string value;
    bool operator==(const GroupChoice&) const = default;
};

/// What is offered for one file read as one format.
struct ImportChoices {
    /// The first lines of the file (decompressed): at most kPreviewLines, within kPreviewBytes.
    std::vector<std::string> preview;
    /// The columns or node attributes found in the file's head that can group the nodes.
    std::vector<GroupChoice> groups;
    /// Edge lists: whether header "auto" takes the first line for a header, and whether that was
    /// judged on the file's head only (the file goes on past what was read).
    bool headerLine = false;
    bool headerFromHead = false;
    /// What "Automatic" groups the nodes by (see ImportResult::groupedBy): the import run with
    /// the header setting on the file, or on its head alone when the file is longer; empty when
    /// it groups them by nothing or the head cannot be imported.
    std::string automaticGroup;
    /// Whether that import went through, so that an empty automaticGroup means no groups.
    bool automaticKnown = false;
    /// Why the file could not be read; empty when it was.
    std::string error;
};

/// The head of a file as a format's scan reads it.
struct ChoicesHead {
    const std::string& path;
    std::string_view text;    // whole lines, decompressed
    bool whole;               // the text is the whole file
    std::string_view header;  // the header setting chosen: "auto", "yes" or "no"
};

/// A format whose import has choices, as the import dialog lists it. `scan` fills the group list
/// (and the header judgement) from the file's head; a format without one offers only the group
/// names typed in.
struct ImportFormatChoice {
    ImportFormat format;
    const char* label;
    bool header;  // the first line may name the columns
    void (*scan)(const ChoicesHead& head, ImportChoices& choices);
};

constexpr size_t kPreviewLines = 20;
constexpr size_t kPreviewBytes = 4096;
/// How much of a file (decompressed) is read for its columns, attributes and header.
constexpr size_t kChoicesHeadBytes = 4u << 20;

/// The formats with choices, in the order the dialog lists them; any other opens without asking.
std::span<const ImportFormatChoice> importFormatChoices();
/// The entry of this format; nullptr when its import has no choices.
const ImportFormatChoice* importFormatChoice(ImportFormat format);

/// What the file offers when read as `format` with this header setting ("auto", "yes", "no";
/// edge lists name the groups by their header only when the first line is one). Only a regular
/// file is read: what a pipe gives could not be read again by the import.
ImportChoices importChoices(const std::string& path, ImportFormat format,
                            std::string_view header = "auto");

/// How the group list names Automatic: with what it groups by ("Automatic (section)"), "Automatic
/// (no groups)" when it groups by nothing, or "Automatic" alone when that cannot be told.
std::string automaticGroupLabel(const ImportChoices& choices);

/// out, in, both, auto: the names walkDirectionFromName takes.
std::string_view walkDirectionName(WalkDirection direction);

}  // namespace orvo
