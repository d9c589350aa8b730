// Replays every file of the fuzz corpus through the fuzz target, so that each
// input the fuzzer ever kept stays a regression test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, EveryKeptInputAgreesWithTheModel) {
    std::size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUIBREL_FUZZ_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0u);
}
