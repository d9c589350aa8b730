// Test support for the scanner: an input held in memory, a sink that records
// what it is given, and a plain group-by-group model of the scan rules that
// serves as the answer key for the fast scanner.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <set>
#include <vector>

#include "extract/scanner.hpp"

namespace quibrel::testing {

using bytes = std::vector<std::byte>;
inline constexpr std::uint64_t no_error = std::numeric_limits<std::uint64_t>::max();

// An input in memory whose reads fail from `error_at` on: every byte before
// it is delivered, no byte at or after it.
struct memory_input {
    bytes data;
    std::uint64_t error_at = no_error;
};

// Delivers `input` from `startbyte`, in reads of at most `chunk` bytes (0: as
// many as asked), so that short reads happen wherever a test wants them.
class memory_source final : public byte_source {
public:
    memory_source(const memory_input& input, std::uint64_t startbyte, std::size_t chunk = 0)
        : input_(input), at_(startbyte), chunk_(chunk) {}

    result read(std::span<std::byte> into) override {
        if (at_ >= input_.error_at) return {0, true};
        std::uint64_t len = input_.data.size();
        std::uint64_t avail = at_ < len ? len - at_ : 0;
        avail = std::min(avail, input_.error_at - at_);
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(avail, into.size()));
        if (chunk_ != 0) n = std::min(n, chunk_);
        if (n > 0) std::memcpy(into.data(), input_.data.data() + at_, n);
        at_ += n;
        return {n, false};
    }

private:
    const memory_input& input_;
    std::uint64_t at_;
    std::size_t chunk_;
};

struct recorded_stream {
    stream_record record;
    bytes content;
    bool write_failed = false;

    friend bool operator==(const recorded_stream& a, const recorded_stream& b) {
        return a.record.start == b.record.start && a.record.end == b.record.end &&
               a.record.how == b.record.how && a.content == b.content &&
               a.write_failed == b.write_failed;
    }
    friend std::ostream& operator<<(std::ostream& os, const recorded_stream& s) {
        return os << "{start " << s.record.start << ", end " << s.record.end << ", how "
                  << static_cast<int>(s.record.how) << ", " << s.content.size() << " bytes"
                  << (s.write_failed ? ", write failed" : "") << "}";
    }
};

// Records every stream. Creation is refused for the start offsets in
// `refuse_create`; writing fails once the run's copied bytes would pass
// `write_budget`, and the failed stream's content is then not compared.
class recording_sink final : public stream_sink {
public:
    std::set<std::uint64_t> refuse_create;
    std::function<bool(std::uint64_t)> refuse_if;  // also refused where this is true
    std::uint64_t write_budget = std::numeric_limits<std::uint64_t>::max();
    std::vector<recorded_stream> streams;

    bool begin_stream(std::uint64_t start) override {
        if (refuse_create.count(start) != 0 || (refuse_if && refuse_if(start))) return false;
        streams.push_back({{start, 0, stream_end::complete}, {}, false});
        open_ = true;
        return true;
    }
    bool stream_data(std::span<const std::byte> data) override {
        if (data.size() > write_budget - written_) {
            streams.back().write_failed = true;
            streams.back().content.clear();
            open_ = false;
            return false;
        }
        written_ += data.size();
        streams.back().content.insert(streams.back().content.end(), data.begin(), data.end());
        return true;
    }
    bool end_stream(const stream_record& record) override {
        if (record.how == stream_end::not_created) {
            streams.push_back({record, {}, false});
        } else {
            streams.back().record = record;
            open_ = false;
        }
        return true;
    }

private:
    std::uint64_t written_ = 0;
    bool open_ = false;
};

// The scan rules, one group at a time, as plainly as they can be written.
inline scan_result model_scan(const memory_input& input, stream_sink& sink, std::uint64_t startbyte,
                              std::uint64_t endbyte) {
    const std::uint64_t len = input.data.size();
    struct group_read {
        std::uint64_t count;
        bool error;
        bytes group;
    };
    auto read_group = [&](std::uint64_t at) {
        if (at >= input.error_at) return group_read{0, true, {}};
        std::uint64_t n = at < len ? std::min<std::uint64_t>(4, len - at) : 0;
        n = std::min(n, input.error_at - at);
        bytes g(input.data.begin() + static_cast<std::ptrdiff_t>(std::min(at, len)),
                input.data.begin() + static_cast<std::ptrdiff_t>(std::min(at, len) + n));
        return group_read{n, n < 4 && at + n == input.error_at, g};
    };
    auto equals = [](const bytes& g, const group& code) {
        return g.size() == 4 && std::equal(g.begin(), g.end(), code.begin());
    };

    std::uint64_t offset = startbyte;
    while (offset <= endbyte) {
        const std::uint64_t start = offset;
        group_read r = read_group(offset);
        offset += r.count;
        if (equals(r.group, pack_start_code)) {
            if (!sink.begin_stream(start)) {
                if (!sink.end_stream({start, start + 4, stream_end::not_created}))
                    return scan_result::sink_stopped;
            } else {
                if (!sink.stream_data(r.group)) return scan_result::sink_stopped;
                for (;;) {
                    group_read c = read_group(offset);
                    offset += c.count;
                    if (c.count < 4) {
                        stream_end how =
                            c.error ? stream_end::read_error : stream_end::end_of_input;
                        if (!sink.end_stream({start, offset, how}))
                            return scan_result::sink_stopped;
                        return c.error ? scan_result::read_error : scan_result::finished;
                    }
                    if (!sink.stream_data(c.group)) return scan_result::sink_stopped;
                    if (equals(c.group, program_end_code)) {
                        if (!sink.end_stream({start, offset, stream_end::complete}))
                            return scan_result::sink_stopped;
                        break;
                    }
                }
            }
        }
        if (r.count < 4) return r.error ? scan_result::read_error : scan_result::finished;
    }
    return scan_result::finished;
}

}  // namespace quibrel::testing
