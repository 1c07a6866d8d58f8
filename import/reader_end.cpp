// The end the readers share: the graph written, the result made ok or cancelled.
#include "import/outline_writer.h"
#include "import/readers.h"
#include "import/site_graph.h"
#include "import/warnings.h"

namespace orvo {

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
