// Whether a path names a regular file, before anything opens it; a file's bytes, read whole.
#pragma once

#include <string>

namespace orvo {

/// True when `path` (its symbolic links followed) is a regular file: never a folder, a device, a
/// socket or a named pipe, which opening would wait on or whose data reading would use up.
bool isRegularFile(const std::string& path);

/// The whole file's bytes into `bytes`; false (errno set) when it cannot be read.
bool readWholeFile(const std::string& path, std::string& bytes);

}  // namespace orvo
