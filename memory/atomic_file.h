// Writing a file so that it is either complete or not there at all: the content goes to a new
// file beside the target, which takes the target's place only once every byte is on disk. A
// failure (a full disk, a folder that cannot be written) leaves the old file, if any, as it was.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace orvo {

/// Calls write with a new, empty file beside `path` (its name and an open stream on it), then
/// puts that file in the place of `path`. False, with a one-line reason in error, when the file
/// cannot be made, write returns false (its own reason, when it set one, is kept), or the data
/// cannot be flushed, closed or renamed; nothing is then left behind. A file replaced keeps its
/// permissions; a new one gets those the umask leaves. A path that is a device, a
/// named pipe or a socket is written as it is (it gets no file in its place).
bool writeFileAtomically(const std::string& path,
                         const std::function<bool(const std::string& tempPath, std::FILE* out,
                                                  std::string& error)>& write,
                         std::string& error);

}  // namespace orvo
