// The import choices kept in the configuration file.
#include "shell/import_settings.h"

#include <wx/confbase.h>

#include <array>
#include <vector>

#include "shell/recent_files.h"

namespace orvo {

namespace {

const char* const kGroup = "/Import Options/";
const char* const kAsk = "AskHowToImport";
// The entries of one file's choices, each followed by its number in the list.
constexpr std::array<const char*, 6> kFields{"File",  "Format", "Header",
                                             "Group", "Root",   "Direction"};

using Fields = std::array<wxString, kFields.size()>;

wxString key(const char* field, int number) {
    return wxString(kGroup) + field + wxString::Format("%d", number);
}

std::vector<Fields> readList(wxConfigBase& config) {
    std::vector<Fields> list;
    for (int number = 1; number <= kRememberedImports; ++number) {
        Fields fields;
        for (size_t f = 0; f < kFields.size(); ++f)
            config.Read(key(kFields[f], number), &fields[f]);
        if (!fields[0].empty()) list.push_back(fields);
    }
    return list;
}

}  // namespace

bool askHowToImport(wxConfigBase& config) {
    bool ask = true;
    config.Read(wxString(kGroup) + kAsk, &ask);
    return ask;
}

void setAskHowToImport(bool ask) {
    changeUserConfig([ask](wxConfigBase& config) { config.Write(wxString(kGroup) + kAsk, ask); });
}

std::optional<ImportChoice> rememberedImport(wxConfigBase& config, const wxString& path) {
    for (const Fields& fields : readList(config)) {
        if (fields[0] != path) continue;
        const auto format = importFormatFromName(fields[1].utf8_string());
        const auto direction = walkDirectionFromName(fields[5].utf8_string());
        const std::string header = fields[2].utf8_string();
        if (!format || importFormatChoice(*format) == nullptr || !direction ||
            (header != "auto" && header != "yes" && header != "no")) {
            return std::nullopt;  // written by another version, or edited by hand
        }
        ImportChoice choice;
        choice.format = *format;
        choice.options.header = header;
        choice.options.group = fields[3].utf8_string();
        choice.options.root = fields[4].utf8_string();
        choice.options.direction = *direction;
        return choice;
    }
    return std::nullopt;
}

void rememberImport(const wxString& path, const ImportChoice& choice) {
    const ImportOptions& o = choice.options;
    const Fields chosen{path,
                        wxString::FromUTF8(std::string(importFormatName(choice.format))),
                        wxString::FromUTF8(o.header),
                        wxString::FromUTF8(o.group),
                        wxString::FromUTF8(o.root),
                        wxString::FromUTF8(std::string(walkDirectionName(o.direction)))};
    changeUserConfig([&](wxConfigBase& config) {
        std::vector<Fields> list = readList(config);
        std::erase_if(list, [&](const Fields& fields) { return fields[0] == path; });
        list.insert(list.begin(), chosen);
        if (list.size() > static_cast<size_t>(kRememberedImports)) list.resize(kRememberedImports);
        for (int number = 1; number <= kRememberedImports; ++number) {
            for (const char* field : kFields) config.DeleteEntry(key(field, number), false);
        }
        for (size_t i = 0; i < list.size(); ++i) {
            for (size_t f = 0; f < kFields.size(); ++f) {
                config.Write(key(kFields[f], static_cast<int>(i) + 1), list[i][f]);
            }
        }
    });
}

}  // namespace orvo
