// The position file: a text file beside the input that records, for every
// stream found, the extracted file's name, where the stream starts and ends in
// the input, and its size.
//
//     # quibrel v0.5a position file
//     # extracted from : image.bin
//     # name        start position      end position      size
//     00000000.pss 512 800 288
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.hpp"

namespace quibrel {

inline constexpr const char* version_text = "0.5a";

// The three header lines.
std::string format_position_header(std::string_view input_name, std::string_view line_end);
// One entry line: name, start, end and the size end - start, all in decimal.
std::string format_position_entry(std::string_view name, std::uint64_t start, std::uint64_t end,
                                  std::string_view line_end);

// Buffered writer of the position file. It remembers any failed write, so
// close() reports a failure however early it happened.
class position_file {
public:
    explicit position_file(platform::file out, std::string_view line_end = platform::line_end)
        : out_(std::move(out)), line_end_(line_end) {}

    void append(std::string_view text);
    // Hands everything buffered so far to the system.
    void flush();
    // Flushes and closes; false when any write or the close failed.
    bool close();
    bool failed() const { return failed_; }
    std::string_view line_end() const { return line_end_; }

private:
    platform::file out_;
    std::string line_end_;
    std::string pending_;
    bool failed_ = false;
};

void write_position_header(position_file& stream, std::string_view input_name);
void write_position_entry(position_file& stream, std::string_view name, std::uint64_t start,
                          std::uint64_t end);

}  // namespace quibrel
