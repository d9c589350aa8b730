#include "extract/scanner.hpp"

#include <cstring>
#include <limits>
#include <memory>

namespace quibrel {
namespace {

constexpr std::uint64_t no_limit = std::numeric_limits<std::uint64_t>::max();

// The read buffer keeps the absolute offset of its first byte apart from the
// indices into it. buf[0] always lies on a group boundary, so groups sit at
// the buffer's multiples of 4.
class scanner {
public:
    scanner(byte_source& input, stream_sink& sink, std::uint64_t startbyte, std::uint64_t endbyte,
            std::size_t buffer_size)
        : input_(input),
          sink_(sink),
          endbyte_(endbyte),
          capacity_(buffer_size < 4 ? 4 : buffer_size & ~std::size_t{3}),
          storage_(new std::byte[capacity_ + 64]),
          buf_(align(storage_.get())),
          base_(startbyte) {}

    scan_result run();

private:
    static std::byte* align(std::byte* p) {
        auto at = reinterpret_cast<std::uintptr_t>(p);
        return p + ((64 - at % 64) % 64);
    }

    std::uint64_t offset() const { return base_ + pos_; }
    std::size_t whole_end() const { return pos_ + ((filled_ - pos_) & ~std::size_t{3}); }

    bool fill(std::uint64_t read_limit);
    bool extract_stream(std::uint64_t start);

    byte_source& input_;
    stream_sink& sink_;
    const std::uint64_t endbyte_;
    const std::size_t capacity_;
    std::unique_ptr<std::byte[]> storage_;
    std::byte* const buf_;
    std::uint64_t base_;      // absolute offset of buf_[0]
    std::size_t filled_ = 0;  // bytes held in buf_
    std::size_t pos_ = 0;     // index of the next group to examine
    bool read_failed_ = false;
    bool sink_stopped_ = false;
};

// Makes one whole group available at pos_, reading more input when needed.
// The unfinished tail (0 to 3 bytes) moves to the front first. Between
// streams `read_limit` keeps reads from running past the last group the scan
// may examine, so a failure beyond the range is never met. False at the end
// of the input or on a read error; a partial group is never handed out.
bool scanner::fill(std::uint64_t read_limit) {
    if (filled_ - pos_ >= 4) return true;
    std::size_t tail = filled_ - pos_;
    std::memmove(buf_, buf_ + pos_, tail);
    base_ += pos_;
    pos_ = 0;
    filled_ = tail;
    while (filled_ < 4) {
        std::size_t want = capacity_ - filled_;
        std::uint64_t at = base_ + filled_;
        if (read_limit != no_limit && read_limit - at < want) {
            want = static_cast<std::size_t>(read_limit - at);
        }
        byte_source::result got = input_.read({buf_ + filled_, want});
        if (got.error) {
            read_failed_ = true;
            return false;
        }
        if (got.count == 0) return false;
        filled_ += got.count;
    }
    return true;
}

// Copies the stream whose start-code group lies just before pos_, up to and
// including the next program end code on a group boundary. Only that code is
// looked for here; later pack start codes are data. Returns false when the
// scan must end.
bool scanner::extract_stream(std::uint64_t start) {
    std::size_t copy_from = pos_ - 4;
    for (;;) {
        if (filled_ - pos_ < 4) {
            // Hand over what is copied so far before the buffer is refilled.
            if (pos_ > copy_from && !sink_.stream_data({buf_ + copy_from, pos_ - copy_from})) {
                sink_stopped_ = true;
                return false;
            }
            if (!fill(no_limit)) {
                stream_record cut{start, base_ + filled_,
                                  read_failed_ ? stream_end::read_error : stream_end::end_of_input};
                if (!sink_.end_stream(cut)) sink_stopped_ = true;
                return false;
            }
            copy_from = pos_;
        }
        std::size_t limit = whole_end();
        std::size_t hit = pos_ + find_group(buf_ + pos_, limit - pos_, as_word(program_end_code));
        if (hit < limit) {
            pos_ = hit + 4;
            if (!sink_.stream_data({buf_ + copy_from, pos_ - copy_from}) ||
                !sink_.end_stream({start, offset(), stream_end::complete})) {
                sink_stopped_ = true;
                return false;
            }
            return true;
        }
        pos_ = limit;
    }
}

scan_result scanner::run() {
    // Between streams, nothing past the group that starts at endbyte is read.
    const std::uint64_t read_limit = endbyte_ > no_limit - 4 ? no_limit : endbyte_ + 4;
    const std::uint32_t start_code = as_word(pack_start_code);
    for (;;) {
        if (offset() > endbyte_) break;
        if (!fill(read_limit)) break;
        // Examine only the groups whose offset is at most endbyte.
        std::size_t limit = whole_end();
        std::uint64_t room = endbyte_ - base_;
        if (room < limit) limit = static_cast<std::size_t>((room / 4 + 1) * 4);
        std::size_t hit = pos_ + find_group(buf_ + pos_, limit - pos_, start_code);
        if (hit == limit) {
            pos_ = limit;
            continue;
        }
        pos_ = hit + 4;
        std::uint64_t start = base_ + hit;
        if (!sink_.begin_stream(start)) {
            if (!sink_.end_stream({start, start + 4, stream_end::not_created})) {
                sink_stopped_ = true;
                break;
            }
            continue;
        }
        if (!extract_stream(start)) break;
    }
    if (sink_stopped_) return scan_result::sink_stopped;
    if (read_failed_) return scan_result::read_error;
    return scan_result::finished;
}

}  // namespace

scan_result scan_range(byte_source& input, stream_sink& sink, std::uint64_t startbyte,
                       std::uint64_t endbyte, std::size_t buffer_size) {
    scanner s(input, sink, startbyte, endbyte, buffer_size);
    return s.run();
}

}  // namespace quibrel
