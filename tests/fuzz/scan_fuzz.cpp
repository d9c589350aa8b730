// Differential fuzz target: the fast scanner against the group-by-group model.
// The first 8 bytes choose the read-buffer size, the size of each read, the
// range, a read error, refused files and a failed write; the rest is the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "scan_model.hpp"

using namespace quibrel;
using namespace quibrel::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    const std::uint8_t* h = data;
    memory_input input;
    input.data.assign(reinterpret_cast<const std::byte*>(data + 8),
                      reinterpret_cast<const std::byte*>(data + size));
    const std::uint64_t len = input.data.size();

    const std::size_t buffer = h[0] >= 0xF0 ? default_buffer_size : h[0] % 64 + 1;
    const std::size_t chunk = h[1] % 8;
    const std::uint64_t startbyte = h[2] >= 0xF0 ? len + (h[2] & 0x0F) : h[2] % 16;
    const std::uint64_t endbyte = h[3] == 0xFF ? std::numeric_limits<std::uint64_t>::max()
                                               : std::uint64_t{h[3]} * 4 + h[3] % 4;
    const unsigned error_at = h[4] | (h[5] << 8);
    input.error_at = error_at == 0xFFFF ? no_error : error_at;
    const std::uint8_t refuse_mask = h[6];
    const std::uint64_t budget =
        h[7] == 0xFF ? std::numeric_limits<std::uint64_t>::max() : std::uint64_t{h[7]} * 4;

    auto refuse = [refuse_mask](std::uint64_t start) {
        return ((refuse_mask >> (start / 4 % 8)) & 1) != 0;
    };
    recording_sink expected, actual;
    expected.refuse_if = actual.refuse_if = refuse;
    expected.write_budget = actual.write_budget = budget;

    scan_result want = model_scan(input, expected, startbyte, endbyte);
    memory_source source(input, startbyte, chunk);
    scan_result got = scan_range(source, actual, startbyte, endbyte, buffer);
    if (got != want || !(actual.streams == expected.streams)) std::abort();
    return 0;
}
