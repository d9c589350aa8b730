// Reads the input file for the scanner in large blocks.
#pragma once

#include "extract/scanner.hpp"
#include "platform/file.hpp"

namespace quibrel {

class file_source final : public byte_source {
public:
    // `at_end` makes a source that delivers nothing, for a start offset that
    // lies beyond any file.
    explicit file_source(platform::file& input, bool at_end = false)
        : input_(input), at_end_(at_end) {}

    // When a large read fails, smaller ones are tried at the same offset, so
    // that every byte before a damaged spot is still delivered.
    result read(std::span<std::byte> into) override {
        if (at_end_) return {};
        std::size_t want = into.size();
        for (;;) {
            platform::read_result got = input_.read(into.first(want));
            if (!got.error) return {got.count, false};
            if (want == 1) return {0, true};
            want /= 2;
        }
    }

private:
    platform::file& input_;
    bool at_end_;
};

}  // namespace quibrel
