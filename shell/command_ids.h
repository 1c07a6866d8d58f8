// Command ids of the main window's own commands and of the key items. The document manager
// handles the File commands among them (Open Folder, Open Web Site, Ask How to Import) as it
// handles Open.
#pragma once

#include <wx/defs.h>

namespace orvo {

enum CommandId : int {
    ID_VIEW_TOOLBAR = wxID_HIGHEST + 1,
    ID_VIEW_STATUS_BAR,
    ID_FILE_OPEN_FOLDER,
    ID_FILE_OPEN_WEB_SITE,
    ID_FILE_ASK_HOW_TO_IMPORT,
    ID_FIND_NODE,
    ID_BACK,
    ID_FORWARD,
    ID_OPEN_IN_BROWSER,
    ID_SHORTCUTS,
    ID_EXPORT_PICTURE,
    ID_EXPORT_LAYOUT,
    ID_EXPORT_REPORT,
    ID_EXPORT_WEB_PAGE,
    ID_COMPARE_WITH,
    ID_SAVE_AS_MAP,
    ID_NODE_COPY_ID,
    ID_NODE_OPEN_IN_BROWSER,
    ID_NODE_SELECT_SUBTREE,
    ID_NODE_CENTRE,
    ID_VIEW_LINKS_PANEL,
    ID_KEY_FIRST = wxID_HIGHEST + 100,         // + the key's character code
    ID_LINK_LIMIT_FIRST = ID_KEY_FIRST + 256,  // + the limit 0 .. 9, 10 for 99
    ID_NODE_LIMIT_FIRST = ID_LINK_LIMIT_FIRST + 11,
    // View > Hidden Groups: + 0 shows them all, + 1 .. 20 one of those listed.
    ID_HIDDEN_GROUP_FIRST = ID_NODE_LIMIT_FIRST + 11,
    // View > Colour By: + 0 the groups, + 1 + the measure's number each measure.
    ID_COLOUR_BY_FIRST = ID_HIDDEN_GROUP_FIRST + 21,
};

}  // namespace orvo
