// How files with import choices were last imported, and whether to ask: kept in the user's
// configuration file beside the recent-file list (section "Import Options"), written as the file
// is on disk, as the list is.
#pragma once

#include <wx/string.h>

#include <optional>

#include "import/import_choices.h"

class wxConfigBase;

namespace orvo {

/// How many files keep their choices, the most recently opened first.
constexpr int kRememberedImports = 16;

/// Whether opening a file with choices shows the import dialog first (yes unless turned off).
bool askHowToImport(wxConfigBase& config);
void setAskHowToImport(bool ask);

/// The choices the file was last opened with; nullopt when none are kept (or their format is no
/// longer one with choices).
std::optional<ImportChoice> rememberedImport(wxConfigBase& config, const wxString& path);
/// Keeps the choices for the file, on top of the list.
void rememberImport(const wxString& path, const ImportChoice& choice);

}  // namespace orvo
