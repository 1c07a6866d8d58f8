// The recent-file list of the File menu: four entries, kept across runs in the user's
// configuration file ($XDG_CONFIG_HOME/orvo/orvo.conf, section "Recent File List").
#pragma once

#include <wx/string.h>

#include <functional>

class wxConfigBase;
class wxFileHistory;
class wxMenu;

namespace orvo {

constexpr int kRecentFileCount = 4;

/// The configuration file of the current user (creating its folder).
wxString userConfigPath();
/// Reads the list (entries "File1" .. "File4", most recent first) into the history.
void loadRecentFiles(wxFileHistory& history, wxConfigBase& config);
/// Makes a change to the configuration file as it is on disk now, not to the copy read at
/// start: each window opened on another file runs a process of its own, and what those wrote
/// meanwhile stays. The process's configuration object is read again afterwards.
void changeUserConfig(const std::function<void(wxConfigBase&)>& change);
/// Puts `opened` on top of the list on disk (or takes `dropped` out of it) and makes the
/// history the list as it then is. Either may be empty.
void recordRecentFile(wxFileHistory& history, const wxString& opened, const wxString& dropped);

/// How an entry of the list reads: the name with the folder it is in beside it
/// ("site.graph — ~/sites/a", the home folder as ~, a long folder shortened in the middle), a
/// folder's name with a slash, a web address whole.
wxString recentFileName(const wxString& path);

/// Shows the history in the File menu at `position` (between two separators): one item per file
/// with ids from the history's base id and the whole path as its help text, or a greyed
/// "Recent File" while the list is empty.
class RecentFilesMenu {
public:
    RecentFilesMenu(wxMenu& menu, size_t position) : menu_(menu), position_(position) {}
    void refresh(const wxFileHistory& history);

private:
    wxMenu& menu_;
    size_t position_;
    size_t shown_ = 0;
};

}  // namespace orvo
