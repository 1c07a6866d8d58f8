// Whether a path names a regular file, before anything opens it.
#pragma once

#include <string>

namespace orvo {

/// True when `path` (its symbolic links followed) is a regular file: never a folder, a device, a
/// socket or a named pipe, which opening would wait on or whose data reading would use up.
bool isRegularFile(const std::string& path);

}  // namespace orvo
