#include "extract/position_file.hpp"

#include <cstddef>
#include <span>

namespace quibrel {
namespace {

constexpr std::size_t flush_threshold = 64 * 1024;

void append_number(std::string& to, std::uint64_t value) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) to.push_back(digits[--n]);
}

}  // namespace

std::string format_position_header(std::string_view input_name, std::string_view line_end) {
    std::string text;
    text.append("# quibrel v").append(version_text).append(" position file").append(line_end);
    text.append("# extracted from : ").append(input_name).append(line_end);
    text.append("# name        start position      end position      size").append(line_end);
    return text;
}

std::string format_position_entry(std::string_view name, std::uint64_t start, std::uint64_t end,
                                  std::string_view line_end) {
    std::string text(name);
    text.push_back(' ');
    append_number(text, start);
    text.push_back(' ');
    append_number(text, end);
    text.push_back(' ');
    append_number(text, end - start);  // unsigned: wraps, never negative
    text.append(line_end);
    return text;
}

void position_file::append(std::string_view text) {
    pending_.append(text);
    if (pending_.size() >= flush_threshold) flush();
}

void position_file::flush() {
    if (pending_.empty()) return;
    if (!failed_ && !out_.write_all(std::as_bytes(std::span(pending_.data(), pending_.size())))) {
        failed_ = true;
    }
    pending_.clear();
}

bool position_file::close() {
    flush();
    if (!out_.close()) failed_ = true;
    return !failed_;
}

void write_position_header(position_file& stream, std::string_view input_name) {
    stream.append(format_position_header(input_name, stream.line_end()));
}

void write_position_entry(position_file& stream, std::string_view name, std::uint64_t start,
                          std::uint64_t end) {
    stream.append(format_position_entry(name, start, end, stream.line_end()));
}

}  // namespace quibrel
