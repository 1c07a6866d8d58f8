// The importers behind the viewer's input converter.
#include "import/import_converter.h"

#include <optional>
#include <string>
#include <utility>

#include "import/import.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

bool isImported(ImportFormat format) {
    return format != ImportFormat::Outline && format != ImportFormat::Url;
}

// The viewer takes the importers' options from the import dialog: an error about one names it
// as the dialog does ("Group by", "Root", "Header line"), not as the command line does.
std::string inDialogWords(const std::string& error, const ImportOptions& options) {
    const std::pair<std::string, std::string> named[] = {
        {"--group " + options.group + ": ", "Group by \"" + options.group + "\": "},
        {"--root " + options.root + ": ", "Root \"" + options.root + "\": "},
        {"--header " + options.header + ": ", "Header line \"" + options.header + "\": "},
    };
    for (const auto& [commandLine, dialog] : named)
        if (error.starts_with(commandLine)) return dialog + error.substr(commandLine.size());
    return error;
}

// Imports the input as `format` (the one guessed from it when none is given) with `options`.
ConversionResult convertInput(const std::string& input, std::optional<ImportFormat> format,
                              const ImportOptions& options, std::ostream& out,
                              const ConversionProgress& progress, const std::atomic<bool>* cancel) {
    ImportProgress importProgress;
    if (progress) {
        importProgress.report = [&progress](uint64_t done, uint64_t total, std::string_view) {
            progress(done, total);
        };
    }
    importProgress.cancel = cancel;
    const ImportResult imported = importFromFiles(
        input, format ? *format : guessImportFormat(input), options, out, importProgress);
    ConversionResult result;
    result.ok = imported.ok;
    result.cancelled = imported.cancelled || importProgress.cancelled();
    result.error = inDialogWords(imported.error, options);
    result.warnings = imported.warnings;
    return result;
}

}  // namespace

InputConverter importConverter() {
    InputConverter converter;
    converter.accepts = [](const std::string& input) {
        if (isImported(guessImportFormat(input))) return true;
        // A compressed graph file goes through the conversion too, which decompresses it.
        return isCompressedFile(input);
    };
    converter.convert = [](const std::string& input, std::ostream& out,
                           const ConversionProgress& progress, const std::atomic<bool>* cancel) {
        return convertInput(input, std::nullopt, ImportOptions{}, out, progress, cancel);
    };
    return converter;
}

InputConverter importConverter(ImportFormat format, ImportOptions options) {
    InputConverter converter;
    converter.accepts = [](const std::string&) { return true; };
    converter.convert = [format, options = std::move(options)](
                            const std::string& input, std::ostream& out,
                            const ConversionProgress& progress, const std::atomic<bool>* cancel) {
        return convertInput(input, format, options, out, progress, cancel);
    };
    return converter;
}

}  // namespace orvo
