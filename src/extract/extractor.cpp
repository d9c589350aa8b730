#include "extract/extractor.hpp"

#include <cinttypes>
#include <utility>

namespace quibrel {

std::string extracted_name(std::uint64_t index) {
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIu64 ".pss", index);
    return text;
}

stream_extractor::stream_extractor(std::string input_name, std::string position_name,
                                   position_file& positions, std::FILE* messages)
    : input_name_(std::move(input_name)),
      position_name_(std::move(position_name)),
      positions_(positions),
      messages_(messages) {}

// A scan that stopped in the middle of a stream leaves its file incomplete.
stream_extractor::~stream_extractor() {
    if (out_.is_open()) abandon_output();
}

bool stream_extractor::is_protected(const std::string& name) const {
    return platform::same_file(name, input_name_) || platform::same_file(name, position_name_);
}

void stream_extractor::report(const char* what, const std::string& name) {
    std::fprintf(messages_, "Error: Could not %s file %s\n", what, name.c_str());
}

void stream_extractor::abandon_output() {
    out_.close();
    platform::remove_file(name_);
    platform::forget_on_interrupt();
}

bool stream_extractor::fail_output() {
    failed_ = true;
    report("write", name_);
    abandon_output();
    return false;
}

bool stream_extractor::begin_stream(std::uint64_t) {
    // Never empty the input or the position file: skip a number that names one.
    name_ = extracted_name(stream_index);
    while (is_protected(name_)) name_ = extracted_name(++stream_index);

    std::optional<platform::file> created = platform::file::create_for_writing(name_);
    if (!created) {
        failed_ = true;
        // A long stream can offer the same name at every pack: say it once.
        if (name_ != last_create_failure_) {
            report("create", name_);
            last_create_failure_ = name_;
        }
        return false;
    }
    out_ = std::move(*created);
    platform::remove_on_interrupt(name_);
    ++stream_index;
    return true;
}

bool stream_extractor::stream_data(std::span<const std::byte> bytes) {
    return out_.write_all(bytes) || fail_output();
}

bool stream_extractor::end_stream(const stream_record& record) {
    if (record.how != stream_end::not_created) {
        if (!out_.close()) return fail_output();
        platform::forget_on_interrupt();
    }
    // After a complete stream, what the position file holds so far goes to
    // the system before this stream's entry line is added.
    if (record.how == stream_end::complete) positions_.flush();
    write_position_entry(positions_, name_, record.start, record.end);
    return true;
}

}  // namespace quibrel
