// Finding a 4-byte code among the whole groups of a buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quibrel {

using group = std::array<std::byte, 4>;

inline constexpr group pack_start_code{std::byte{0x00}, std::byte{0x00}, std::byte{0x01},
                                       std::byte{0xBA}};
inline constexpr group program_end_code{std::byte{0x00}, std::byte{0x00}, std::byte{0x01},
                                        std::byte{0xB9}};

// The code as the machine loads it from memory, whatever the byte order.
inline std::uint32_t as_word(const group& code) noexcept {
    std::uint32_t w;
    std::memcpy(&w, code.data(), sizeof w);
    return w;
}

// Returns the index of the first group in `p[0, n)` that equals `code`, or `n`
// when none does. Groups lie at multiples of 4 from `p`; `n` is a multiple of 4.
std::size_t find_group(const std::byte* p, std::size_t n, std::uint32_t code) noexcept;

// The same search one group at a time, without vector instructions.
std::size_t find_group_portable(const std::byte* p, std::size_t n, std::uint32_t code) noexcept;

}  // namespace quibrel
