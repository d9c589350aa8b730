#include "cli/offsets.hpp"

#include <limits>

namespace quibrel {

std::uint64_t parse_offset(const char* text) {
    constexpr std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        value = value > (largest - digit) / 10 ? largest : value * 10 + digit;
    }
    return negative ? 0 - value : value;
}

std::optional<std::uint64_t> measure_length(platform::file& input) {
    std::optional<std::uint64_t> here = input.tell();
    if (!here || !input.seek_to_end()) return std::nullopt;
    std::optional<std::uint64_t> length = input.tell();
    input.seek(*here);
    return length;
}

}  // namespace quibrel
