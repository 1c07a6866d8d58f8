// An exclusive lock shared by processes: each process that changes the same file by reading it,
// changing it and writing it back holds the lock for the whole of that, so that two viewers
// writing at once do not lose each other's change.
#pragma once

#include <string>

namespace orvo {

class FileLock {
public:
    /// Waits for the lock on the lock file `path` (made when missing, left behind after).
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    /// False when the lock file could not be made or locked: the caller goes on unlocked.
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace orvo
