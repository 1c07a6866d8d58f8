// The importers behind the viewer's input converter.
#include "import/import_converter.h"

#include "import/import.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

bool isImported(ImportFormat format) {
    return format != ImportFormat::Outline && format != ImportFormat::Url;
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
        ImportProgress importProgress;
        if (progress) {
            importProgress.report = [&progress](uint64_t done, uint64_t total, std::string_view) {
                progress(done, total);
            };
        }
        importProgress.cancel = cancel;
        const ImportResult imported =
            importGraph(input, guessImportFormat(input), ImportOptions{}, out, importProgress);
        ConversionResult result;
        result.ok = imported.ok;
        result.cancelled = imported.cancelled || importProgress.cancelled();
        result.error = imported.error;
        result.warnings = imported.warnings;
        return result;
    };
    return converter;
}

}  // namespace orvo
