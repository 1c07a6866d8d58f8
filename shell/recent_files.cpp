// Recent files: the list in the configuration file and its items in the File menu.
#include "shell/recent_files.h"

#include <wx/confbase.h>
#include <wx/fileconf.h>
#include <wx/filehistory.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/utils.h>

#include <vector>

#include "memory/file_lock.h"

namespace orvo {

namespace {

const char* const kRecentGroup = "/Recent File List";

wxString entryName(int number) { return wxString::Format("File%d", number); }

// Past this many characters a folder shows its start and its end only.
constexpr size_t kShownFolderLength = 60;

wxString shownFolder(const wxString& folder) {
    wxString shown = folder;
    const wxString home = wxFileName::GetHomeDir();
    if (!home.empty() && home != "/" && (shown == home || shown.StartsWith(home + "/"))) {
        shown = "~" + shown.Mid(home.length());
    }
    if (shown.length() <= kShownFolderLength) return shown;
    const size_t head = kShownFolderLength / 3;
    const size_t tail = kShownFolderLength - head - 1;
    return shown.Left(head) + wxUniChar(0x2026) + shown.Right(tail);
}

}  // namespace

wxString recentFileName(const wxString& path) {
    // A web address shows whole: its last part is often empty and names no site.
    if (path.Contains("://")) return path;
    const wxFileName file(path);
    wxString name = file.GetFullName();
    if (wxFileName::DirExists(path) && path != "/") name += "/";  // a folder: a site or a tree
    if (name.empty()) return path;
    const wxString folder = file.GetPath();
    return name + " " + wxUniChar(0x2014) + " " + shownFolder(folder.empty() ? "/" : folder);
}

wxString userConfigPath() {
    wxString base;
    if (!wxGetEnv("XDG_CONFIG_HOME", &base) || base.empty()) {
        base = wxFileName::GetHomeDir() + "/.config";
    }
    const wxString folder = base + "/orvo";
    wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL);
    return folder + "/orvo.conf";
}

namespace {

std::vector<wxString> readList(wxConfigBase& config) {
    std::vector<wxString> list;
    for (int number = 1; number <= kRecentFileCount; ++number) {
        wxString path;
        if (config.Read(wxString(kRecentGroup) + "/" + entryName(number), &path) && !path.empty())
            list.push_back(path);
    }
    return list;
}

}  // namespace

void loadRecentFiles(wxFileHistory& history, wxConfigBase& config) {
    const std::vector<wxString> list = readList(config);
    // Added oldest first, so the most recent ends up on top.
    for (auto at = list.rbegin(); at != list.rend(); ++at) history.AddFileToHistory(*at);
}

void changeUserConfig(const std::function<void(wxConfigBase&)>& change) {
    const wxString path = userConfigPath();
    {
        // Viewers started together (one per selected input) each change the file: without the
        // lock, one that read it before another wrote would write the other's change away.
        const FileLock lock(std::string(path.fn_str()) + ".lock");
        wxFileConfig onDisk("orvo", wxEmptyString, path, wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        change(onDisk);
        onDisk.Flush();
    }
    delete wxConfigBase::Set(
        new wxFileConfig("orvo", wxEmptyString, path, wxEmptyString, wxCONFIG_USE_LOCAL_FILE));
}

void recordRecentFile(wxFileHistory& history, const wxString& opened, const wxString& dropped) {
    std::vector<wxString> list;
    changeUserConfig([&](wxConfigBase& config) {
        list = readList(config);
        std::erase_if(list, [&](const wxString& p) { return p == opened || p == dropped; });
        if (!opened.empty()) list.insert(list.begin(), opened);
        if (list.size() > static_cast<size_t>(kRecentFileCount)) list.resize(kRecentFileCount);
        config.DeleteGroup(kRecentGroup);
        for (size_t i = 0; i < list.size(); ++i) {
            config.Write(wxString(kRecentGroup) + "/" + entryName(static_cast<int>(i) + 1),
                         list[i]);
        }
    });
    while (history.GetCount() > 0) history.RemoveFileFromHistory(0);
    for (auto at = list.rbegin(); at != list.rend(); ++at) history.AddFileToHistory(*at);
}

void RecentFilesMenu::refresh(const wxFileHistory& history) {
    for (; shown_ > 0; --shown_) {
        menu_.Destroy(menu_.FindItemByPosition(position_));
    }
    const size_t count = history.GetCount();
    if (count == 0) {
        wxMenuItem* placeholder =
            menu_.Insert(position_, history.GetBaseId(), "Recent File", "Open this document");
        placeholder->Enable(false);
        shown_ = 1;
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const wxString path = history.GetHistoryFile(i);
        wxString name = recentFileName(path);
        name.Replace("&", "&&");  // a literal ampersand, not a mnemonic
        const wxString label = wxString::Format("&%d %s", static_cast<int>(i) + 1, name);
        menu_.Insert(position_ + i, history.GetBaseId() + static_cast<int>(i), label,
                     "Open " + path);
    }
    shown_ = count;
}

}  // namespace orvo
