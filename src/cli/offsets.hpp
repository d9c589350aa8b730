#pragma once

#include <cstdint>
#include <optional>

#include "platform/file.hpp"

namespace quibrel {

// Reads a byte offset as a decimal number: leading white space, at most one
// sign, then digits up to the first non-digit. No digit gives 0; a value past
// 2^64 - 1 saturates there; "-N" is negated modulo 2^64, so "-1" is the
// largest offset. It never fails.
std::uint64_t parse_offset(const char* text);

// The input's length, found by seeking to its end; the read position is
// restored. Nothing when the input can't be sought.
std::optional<std::uint64_t> measure_length(platform::file& input);

}  // namespace quibrel
