// How a program ends once what it must write is out: at once, without destroying what it built
// (a graph of millions of nodes takes seconds to free, and the system takes the memory back as a
// whole anyway).
#pragma once

namespace orvo {

/// Flushes every output stream and ends the process with `status`, skipping destructors and exit
/// handlers. Call it only when every output file is closed. The sanitizer build returns `status`
/// instead, so that the caller frees what it built and the leak checker sees it freed.
int endProgram(int status);

}  // namespace orvo
