// The start and the end the readers share: the input opened; the graph written, the result made
// ok or cancelled.
#include "import/outline_writer.h"
#include "import/readers.h"
#include "import/site_graph.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

bool openImportInput(const std::string& file, InputFile& input, const ImportProgress& progress,
                     ImportResult& result) {
    if (!input.open(file)) {
        result.error = file + ": " + input.error();
        return false;
    }
    progress(0, 0, "reading");
    return true;
}

ImportResult finishRead(bool written, const ImportProgress& progress, ImportResult& result) {
    if (!written) {
        result.cancelled = progress.cancelled();
        return result;
    }
    result.ok = true;
    finishWarnings(result);
    return result;
}

ImportResult writeAndFinishRead(const SiteGraph& graph, std::ostream& out,
                                const ImportProgress& progress, ImportResult& result) {
    OutlineWriter writer(out);
    return finishRead(graph.write(writer, progress, result), progress, result);
}

}  // namespace orvo
