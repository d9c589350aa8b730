#include "extract/word_search.hpp"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QUIBREL_HAVE_SSE2 1
#include <emmintrin.h>
#endif

namespace quibrel {

std::size_t find_group_portable(const std::byte* p, std::size_t n, std::uint32_t code) noexcept {
    for (std::size_t i = 0; i < n; i += 4) {
        std::uint32_t w;
        std::memcpy(&w, p + i, sizeof w);
        if (w == code) return i;
    }
    return n;
}

#ifdef QUIBREL_HAVE_SSE2

std::size_t find_group(const std::byte* p, std::size_t n, std::uint32_t code) noexcept {
    const __m128i needle = _mm_set1_epi32(static_cast<int>(code));
    std::size_t i = 0;
    // 64 bytes a step: four compares folded into one test.
    for (; i + 64 <= n; i += 64) {
        const auto* q = reinterpret_cast<const __m128i*>(p + i);
        __m128i a = _mm_cmpeq_epi32(_mm_loadu_si128(q), needle);
        __m128i b = _mm_cmpeq_epi32(_mm_loadu_si128(q + 1), needle);
        __m128i c = _mm_cmpeq_epi32(_mm_loadu_si128(q + 2), needle);
        __m128i d = _mm_cmpeq_epi32(_mm_loadu_si128(q + 3), needle);
        __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
        if (_mm_movemask_epi8(any) != 0) break;
    }
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi32(v, needle));
        if (mask != 0) {
            std::size_t lane = 0;
            while ((mask & 1) == 0) {
                mask >>= 4;
                lane += 4;
            }
            return i + lane;
        }
    }
    std::size_t rest = find_group_portable(p + i, n - i, code);
    return i + rest;
}

#else

std::size_t find_group(const std::byte* p, std::size_t n, std::uint32_t code) noexcept {
    return find_group_portable(p, n, code);
}

#endif

}  // namespace quibrel
