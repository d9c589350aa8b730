// The sink that turns found streams into numbered files in the current
// directory and entry lines in the position file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "extract/position_file.hpp"
#include "extract/scanner.hpp"
#include "platform/file.hpp"

namespace quibrel {

// The name of extracted file number `index`: at least eight digits, ".pss".
std::string extracted_name(std::uint64_t index);

class stream_extractor final : public stream_sink {
public:
    // Files whose names denote `input_name` or `position_name` are never
    // created: that number is skipped. Failures are reported, one line each,
    // on `messages`.
    stream_extractor(std::string input_name, std::string position_name, position_file& positions,
                     std::FILE* messages);
    stream_extractor(const stream_extractor&) = delete;
    stream_extractor& operator=(const stream_extractor&) = delete;
    ~stream_extractor();

    bool begin_stream(std::uint64_t start) override;
    bool stream_data(std::span<const std::byte> bytes) override;
    bool end_stream(const stream_record& record) override;

    // True once an extracted file could not be created, written or closed.
    bool failed() const { return failed_; }

private:
    bool is_protected(const std::string& name) const;
    void report(const char* what, const std::string& name);
    void abandon_output();
    // Reports a failed write or close, removes the incomplete file; false.
    bool fail_output();

    std::string input_name_;
    std::string position_name_;
    position_file& positions_;
    std::FILE* messages_;

    std::uint64_t stream_index = 0;
    std::string name_;  // the name offered to the current stream
    platform::file out_;
    std::string last_create_failure_;
    bool failed_ = false;
};

}  // namespace quibrel
