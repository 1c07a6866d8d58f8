// Inflating gzip members one after another from a file read a block at a time.
#include "stream/gzip_inflater.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>

namespace orvo {

namespace {

constexpr size_t kBlock = size_t{1} << 20;
constexpr unsigned char kGzipMagic = 0x1F;

}  // namespace

GzipInflater::GzipInflater() : in_(kBlock), state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_GZIP;
}

GzipInflater::~GzipInflater() = default;

bool GzipInflater::open(const std::string& path) {
    file_.open(path, std::ios::binary);
    if (!file_) error_ = "cannot be opened";
    return bool(file_);
}

bool GzipInflater::refill() {
    file_.read(reinterpret_cast<char*>(in_.data()), std::streamsize(in_.size()));
    if (file_.bad()) {
        error_ = "cannot be read";
        return false;
    }
    state_->next_in = in_.data();
    state_->avail_in = uint32_t(file_.gcount());
    fileEnded_ = state_->avail_in == 0;
    return true;
}

long GzipInflater::read(char* to, size_t size) {
    if (ended_ || size == 0) return 0;
    inflate_state& s = *state_;
    s.next_out = reinterpret_cast<unsigned char*>(to);
    s.avail_out = uint32_t(std::min<size_t>(size, UINT32_MAX));
    const uint32_t room = s.avail_out;
    while (s.avail_out > 0) {
        if (s.avail_in == 0 && !fileEnded_ && !refill()) return -1;
        if (s.block_state == ISAL_BLOCK_FINISH) {
            // A member has ended: another may follow.
            if (s.avail_in == 0 || s.next_in[0] != kGzipMagic) {
                ended_ = true;
                break;
            }
            uint8_t* next = s.next_in;
            const uint32_t left = s.avail_in;
            isal_inflate_reset(&s);
            s.crc_flag = ISAL_GZIP;
            s.next_in = next;
            s.avail_in = left;
        }
        const uint32_t outBefore = s.avail_out, inBefore = s.avail_in;
        if (isal_inflate(&s) < 0) {
            error_ = "gzip decompression failed";
            return -1;
        }
        const bool progressed = s.avail_out != outBefore || s.avail_in != inBefore;
        if (!progressed && s.block_state != ISAL_BLOCK_FINISH) {
            // Nothing more comes of what is left (input is read again before each call while
            // there is more): the file ends within a member, or what is left cannot be inflated.
            error_ = s.avail_in == 0 ? "truncated gzip input" : "gzip decompression failed";
            return -1;
        }
    }
    return long(room - s.avail_out);
}

}  // namespace orvo
