// The stream scanner: walks a byte range in 4-byte groups, finds each PSS
// stream (pack start code through program end code) and pushes what it finds
// to a sink. The scanner never touches files or the console itself, so it runs
// on bytes in memory just as well as on a disc image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "extract/word_search.hpp"

namespace quibrel {

// Where the scanner's bytes come from, read strictly in sequence from
// `startbyte`. A read delivers at least one byte, or none at the end of the
// input, or reports an error.
class byte_source {
public:
    struct result {
        std::size_t count = 0;
        bool error = false;
    };
    virtual result read(std::span<std::byte> into) = 0;

protected:
    ~byte_source() = default;
};

// How the handling of one stream ended.
enum class stream_end {
    complete,      // its program end code was copied
    end_of_input,  // the input ended inside it
    read_error,    // a read failed inside it
    not_created,   // the sink could not create its output; nothing was copied
};

struct stream_record {
    std::uint64_t start = 0;  // offset of the group holding the pack start code
    std::uint64_t end = 0;    // offset at which the copy stopped
    stream_end how = stream_end::complete;
};

// Receives what the scanner finds. Each stream is announced by begin_stream,
// its bytes (whole groups, in order) arrive through stream_data, and
// end_stream closes it. A sink that answers false to stream_data or
// end_stream stops the scan at once.
class stream_sink {
public:
    // False when the stream's output can't be created; the scanner then copies
    // nothing and resumes right after the start-code group.
    virtual bool begin_stream(std::uint64_t start) = 0;
    virtual bool stream_data(std::span<const std::byte> bytes) = 0;
    virtual bool end_stream(const stream_record& record) = 0;

protected:
    ~stream_sink() = default;
};

enum class scan_result {
    finished,      // the range was scanned, or the input ended
    read_error,    // a read of the input failed
    sink_stopped,  // the sink asked to stop
};

inline constexpr std::size_t default_buffer_size = std::size_t{1} << 20;

// Scans groups at `startbyte` + 4k for every group offset up to and including
// `endbyte`. A stream that begins within the range is copied whole, however
// far past `endbyte` it runs; the scan resumes right after its end-code group.
// `buffer_size` is rounded down to a multiple of 4 (at least 4).
scan_result scan_range(byte_source& input, stream_sink& sink, std::uint64_t startbyte,
                       std::uint64_t endbyte, std::size_t buffer_size = default_buffer_size);

}  // namespace quibrel
