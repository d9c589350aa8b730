// The fast scanner against the group-by-group model, on a table of seed cases
// run at every buffer size and padding, and on random inputs.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "extract/word_search.hpp"
#include "scan_model.hpp"

namespace quibrel::testing {
namespace {

constexpr std::uint64_t all = std::numeric_limits<std::uint64_t>::max();

// Builds inputs from codes and filler.
struct input_builder {
    bytes data;
    input_builder& code(const group& g) {
        data.insert(data.end(), g.begin(), g.end());
        return *this;
    }
    input_builder& S() { return code(pack_start_code); }
    input_builder& E() { return code(program_end_code); }
    input_builder& fill(std::size_t n, std::uint8_t value = 0x11) {
        data.insert(data.end(), n, std::byte{value});
        return *this;
    }
    input_builder& raw(std::initializer_list<std::uint8_t> values) {
        for (auto v : values) data.push_back(std::byte{v});
        return *this;
    }
};

struct expected_stream {
    std::uint64_t start, end;
    stream_end how;
    std::uint64_t copied;  // bytes in the extracted file
};

struct seed_case {
    std::string name;
    bytes input;
    std::uint64_t startbyte = 0;
    std::uint64_t endbyte = all;  // all: the whole input
    std::uint64_t error_at = no_error;
    std::set<std::uint64_t> refuse_create;
    std::uint64_t write_budget = all;
    scan_result result = scan_result::finished;
    std::vector<expected_stream> streams;
};

using E = stream_end;

std::vector<seed_case> seed_cases() {
    auto b = [] { return input_builder{}; };
    // One case a row or two reads best as a table.
    // clang-format off
    return {
        {"empty input", {}, 0, all, no_error, {}, all, scan_result::finished, {}},
        {"one stream", b().fill(8).S().fill(4).E().fill(4).data, 0, all, no_error, {}, all,
         scan_result::finished, {{8, 20, E::complete, 12}}},
        {"shortest stream is two groups", b().S().E().data, 0, all, no_error, {}, all,
         scan_result::finished, {{0, 8, E::complete, 8}}},
        {"a start code off the group grid is not seen", b().fill(2).S().fill(2).data, 0, all,
         no_error, {}, all, scan_result::finished, {}},
        {"the grid follows startbyte", b().fill(2).S().fill(4).E().data, 2, all, no_error, {},
         all, scan_result::finished, {{2, 14, E::complete, 12}}},
        {"back to back streams", b().S().fill(4).E().S().E().data, 0, all, no_error, {}, all,
         scan_result::finished, {{0, 12, E::complete, 12}, {12, 20, E::complete, 8}}},
        {"later packs are data", b().S().fill(4).S().fill(4).S().E().data, 0, all, no_error, {},
         all, scan_result::finished, {{0, 24, E::complete, 24}}},
        {"an end code off the grid is data", b().S().fill(2).E().fill(2).E().fill(4).data, 0, all,
         no_error, {}, all, scan_result::finished, {{0, 16, E::complete, 16}}},
        {"an end code alone starts nothing", b().E().fill(4).E().data, 0, all, no_error, {}, all,
         scan_result::finished, {}},
        {"stream cut by the end of input", b().S().fill(8).data, 0, all, no_error, {}, all,
         scan_result::finished, {{0, 12, E::end_of_input, 12}}},
        {"a trailing partial group counts in the size only", b().S().fill(8).fill(2).data, 0, all,
         no_error, {}, all, scan_result::finished, {{0, 14, E::end_of_input, 12}}},
        {"the scan ends with a cut stream", b().S().fill(5).S().E().data, 0, all, no_error, {},
         all, scan_result::finished, {{0, 17, E::end_of_input, 16}}},
        {"a stream at endbyte is copied whole", b().fill(4).S().fill(4).E().data, 0, 4, no_error,
         {}, all, scan_result::finished, {{4, 16, E::complete, 12}}},
        {"endbyte inside a group still examines it", b().fill(4).S().E().data, 0, 7, no_error, {},
         all, scan_result::finished, {{4, 12, E::complete, 8}}},
        {"a start code past endbyte is not found", b().fill(4).S().E().data, 0, 3, no_error, {},
         all, scan_result::finished, {}},
        {"the scan resumes after a stream, then stops at endbyte",
         b().S().fill(8).E().S().E().data, 0, 4, no_error, {}, all, scan_result::finished,
         {{0, 16, E::complete, 16}}},
        {"startbyte above endbyte reads nothing", b().S().E().data, 8, 4, no_error, {}, all,
         scan_result::finished, {}},
        {"startbyte inside a stream", b().S().fill(4).S().fill(4).E().data, 4, all, no_error, {},
         all, scan_result::finished, {{8, 20, E::complete, 12}}},
        {"startbyte past the end", b().S().E().data, 100, all, no_error, {}, all,
         scan_result::finished, {}},
        {"a partial group never matches a stale buffer",
         b().raw({0x11, 0x11, 0x11, 0xBA}).raw({0x00, 0x00, 0x01}).data, 0, all, no_error, {},
         all, scan_result::finished, {}},
        {"a refused file resumes inside its stream", b().S().fill(4).S().E().data, 0, all,
         no_error, {0}, all, scan_result::finished,
         {{0, 4, E::not_created, 0}, {8, 16, E::complete, 8}}},
        {"read error inside a stream", b().S().fill(8).E().data, 0, all, 10, {}, all,
         scan_result::read_error, {{0, 10, E::read_error, 8}}},
        {"read error between streams", b().fill(8).S().E().data, 0, all, 4, {}, all,
         scan_result::read_error, {}},
        {"read error past endbyte is never met", b().fill(16).data, 0, 0, 4, {}, all,
         scan_result::finished, {}},
        {"read error after a stream that ends past endbyte", b().S().E().fill(8).data, 0, 0, 8,
         {}, all, scan_result::finished, {{0, 8, E::complete, 8}}},
        {"read error at the first group", b().S().E().data, 0, all, 0, {}, all,
         scan_result::read_error, {}},
        {"failed write stops the scan", b().S().fill(8).E().S().E().data, 0, all, no_error, {}, 4,
         scan_result::sink_stopped, {}},
    };
    // clang-format on
}

// The streams a sink recorded, in the table's terms.
std::vector<expected_stream> summary(const recording_sink& sink) {
    std::vector<expected_stream> out;
    for (const auto& s : sink.streams) {
        if (s.write_failed) continue;
        out.push_back({s.record.start, s.record.end, s.record.how, s.content.size()});
    }
    return out;
}

bool operator==(const expected_stream& a, const expected_stream& b) {
    return a.start == b.start && a.end == b.end && a.how == b.how && a.copied == b.copied;
}
std::ostream& operator<<(std::ostream& os, const expected_stream& s) {
    return os << "{" << s.start << ", " << s.end << ", how " << static_cast<int>(s.how) << ", "
              << s.copied << " bytes}";
}

// Moves a case `pad` bytes into the input, filler in front.
seed_case padded(seed_case c, std::uint64_t pad) {
    c.input.insert(c.input.begin(), pad, std::byte{0xEE});
    c.startbyte += pad;
    if (c.endbyte != all) c.endbyte += pad;
    if (c.error_at != no_error) c.error_at += pad;
    std::set<std::uint64_t> refused;
    for (auto r : c.refuse_create) refused.insert(r + pad);
    c.refuse_create = refused;
    for (auto& s : c.streams) {
        s.start += pad;
        s.end += pad;
    }
    return c;
}

void configure(recording_sink& sink, const seed_case& c) {
    sink.refuse_create = c.refuse_create;
    sink.write_budget = c.write_budget;
}

TEST(ScanModel, AgreesWithEverySeedCase) {
    for (const auto& c : seed_cases()) {
        SCOPED_TRACE(c.name);
        memory_input input{c.input, c.error_at};
        recording_sink sink;
        configure(sink, c);
        EXPECT_EQ(model_scan(input, sink, c.startbyte, c.endbyte), c.result);
        EXPECT_EQ(summary(sink), c.streams);
    }
}

TEST(Scanner, MatchesModelAtEveryBufferSizePaddingAndReadSize) {
    const std::size_t buffer_sizes[] = {4, 8, 12, default_buffer_size};
    const std::size_t read_sizes[] = {0, 1, 5};
    for (const auto& original : seed_cases()) {
        for (std::uint64_t pad = 0; pad < 8; ++pad) {
            const seed_case c = padded(original, pad);
            memory_input input{c.input, c.error_at};
            recording_sink expected;
            configure(expected, c);
            scan_result expected_result = model_scan(input, expected, c.startbyte, c.endbyte);
            ASSERT_EQ(summary(expected), c.streams) << c.name << " with padding " << pad;
            for (std::size_t buffer : buffer_sizes) {
                for (std::size_t chunk : read_sizes) {
                    SCOPED_TRACE(c.name + ", padding " + std::to_string(pad) + ", buffer " +
                                 std::to_string(buffer) + ", reads of " + std::to_string(chunk));
                    memory_source source(input, c.startbyte, chunk);
                    recording_sink actual;
                    configure(actual, c);
                    EXPECT_EQ(scan_range(source, actual, c.startbyte, c.endbyte, buffer),
                              expected_result);
                    EXPECT_EQ(actual.streams, expected.streams);
                }
            }
        }
    }
}

// Random inputs dense with codes, on and off the grid, with random ranges,
// read errors, refused files and failed writes.
TEST(Scanner, MatchesModelOnRandomInputs) {
    std::mt19937_64 rng(20261211);
    auto pick = [&](std::uint64_t lo, std::uint64_t hi) {
        return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
    };
    for (int round = 0; round < 4000; ++round) {
        bytes data;
        const std::size_t pieces = pick(0, 40);
        for (std::size_t i = 0; i < pieces; ++i) {
            switch (pick(0, 5)) {
                case 0:
                    data.insert(data.end(), pack_start_code.begin(), pack_start_code.end());
                    break;
                case 1:
                    data.insert(data.end(), program_end_code.begin(), program_end_code.end());
                    break;
                case 2:
                    data.insert(data.end(), pick(1, 3), std::byte{0});
                    break;
                default:
                    for (std::uint64_t n = pick(1, 9); n > 0; --n)
                        data.push_back(std::byte(pick(0, 255)));
            }
        }
        const std::uint64_t len = data.size();
        memory_input input{data, pick(0, 3) == 0 ? pick(0, len + 4) : no_error};
        const std::uint64_t startbyte = pick(0, 7) == 0 ? pick(0, len + 8) : pick(0, 3);
        const std::uint64_t endbyte = pick(0, 2) == 0 ? pick(0, len + 8) : all;
        recording_sink expected;
        if (pick(0, 3) == 0) {
            for (std::uint64_t k = pick(1, 4); k > 0; --k)
                expected.refuse_create.insert(pick(0, len));
        }
        if (pick(0, 5) == 0) expected.write_budget = pick(0, len);
        recording_sink actual;
        actual.refuse_create = expected.refuse_create;
        actual.write_budget = expected.write_budget;

        const std::size_t buffer = pick(0, 3) == 0 ? default_buffer_size : pick(1, 40);
        const std::size_t chunk = pick(0, 2) == 0 ? pick(1, 7) : 0;
        memory_source source(input, startbyte, chunk);
        scan_result want = model_scan(input, expected, startbyte, endbyte);
        scan_result got = scan_range(source, actual, startbyte, endbyte, buffer);
        ASSERT_EQ(got, want) << "round " << round;
        ASSERT_EQ(actual.streams, expected.streams)
            << "round " << round << ", startbyte " << startbyte << ", endbyte " << endbyte
            << ", buffer " << buffer << ", reads of " << chunk;
    }
}

TEST(FindGroup, AgreesWithPortableSearchAtEveryPlaceAndLength) {
    alignas(64) std::byte buffer[256 + 64];
    const std::uint32_t code = as_word(pack_start_code);
    for (std::size_t shift = 0; shift < 64; shift += 4) {
        for (std::size_t n = 0; n <= 256; n += 4) {
            std::fill(std::begin(buffer), std::end(buffer), std::byte{0});
            std::byte* p = buffer + shift;
            ASSERT_EQ(find_group(p, n, code), n);
            for (std::size_t at = 0; at < n; at += 4) {
                std::memcpy(p + at, pack_start_code.data(), 4);
                if (at + 8 <= n) std::memcpy(p + at + 4, pack_start_code.data(), 4);
                ASSERT_EQ(find_group(p, n, code), at) << "shift " << shift << ", n " << n;
                ASSERT_EQ(find_group_portable(p, n, code), at);
                std::fill(p, p + n, std::byte{0});
            }
            // A code that straddles two groups is not seen.
            if (n >= 8) {
                std::memcpy(p + 2, pack_start_code.data(), 4);
                ASSERT_EQ(find_group(p, n, code), n);
            }
        }
    }
}

}  // namespace
}  // namespace quibrel::testing
