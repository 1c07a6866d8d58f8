// Complete-or-absent file writes through a temporary file and a rename.
#include "memory/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvo {

namespace {

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

/// The permissions a newly created file gets (0666 less the umask), as fopen would give.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A device, a named pipe or a socket (/dev/null, /dev/stdout, a pipe a reader waits on) is
// written as it is: a file renamed over it would take its place.
bool writeInPlace(const std::string& path,
                  const std::function<bool(const std::string&, std::FILE*, std::string&)>& write,
                  std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    std::string reason;
    errno = 0;
    bool ok = write(path, out, reason);
    if (!ok && reason.empty()) reason = std::strerror(errno != 0 ? errno : EIO);
    if (std::fflush(out) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno != 0 ? errno : EIO);
    }
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno != 0 ? errno : EIO);
    }
    if (!ok) {
        error =
            reason.starts_with("cannot ") ? reason : "cannot write " + quoted(path) + ": " + reason;
    }
    return ok;
}

}  // namespace

bool writeFileAtomically(const std::string& path,
                         const std::function<bool(const std::string& tempPath, std::FILE* out,
                                                  std::string& error)>& write,
                         std::string& error) {
    error.clear();
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        error = "cannot write " + quoted(path) + ": it is a folder";
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) return writeInPlace(path, write, error);
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    const std::string temp(name.data());
    // mkstemp makes the file private: it gets the permissions of the file it replaces, or those
    // any new file would get.
    ::fchmod(fd, exists ? info.st_mode & 07777 : newFileMode());
    std::FILE* out = ::fdopen(fd, "wb");
    if (out == nullptr) {
        error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    std::string reason;
    errno = 0;
    bool ok = write(temp, out, reason);
    if (!ok && reason.empty()) reason = std::strerror(errno != 0 ? errno : EIO);
    if (ok && (std::fflush(out) != 0 || std::ferror(out))) {
        ok = false;
        reason = std::strerror(errno != 0 ? errno : EIO);
    }
    if (ok && ::fsync(::fileno(out)) != 0 && errno != EINVAL) {
        ok = false;
        reason = std::strerror(errno);
    }
    errno = 0;
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno != 0 ? errno : EIO);
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error =
            reason.starts_with("cannot ") ? reason : "cannot write " + quoted(path) + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace orvo
