// A gzip file inflated as it is read, with ISA-L's igzip (several times faster than zlib on the
// large text files users compress): member after member, each one's checksum verified; bytes
// after the last member that start no further one are passed over.
#pragma once

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

struct inflate_state;

namespace orvo {

class GzipInflater {
public:
    GzipInflater();
    ~GzipInflater();
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    /// False when the file cannot be opened (error() says why).
    bool open(const std::string& path);
    /// Inflates the next bytes into `to`: the count, 0 at the end, -1 on a failure.
    long read(char* to, size_t size);
    const std::string& error() const { return error_; }

private:
    bool refill();

    std::ifstream file_;
    std::vector<unsigned char> in_;
    std::unique_ptr<inflate_state> state_;
    bool fileEnded_ = false, ended_ = false;
    std::string error_;
};

}  // namespace orvo
