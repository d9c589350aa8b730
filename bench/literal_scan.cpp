// Baseline for the benchmark only: the scan written the direct way, one 4-byte
// group per read through a buffered stream, with the position told around
// every group. It extracts the same files and position file as quibrel.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const unsigned char start_code[4] = {0x00, 0x00, 0x01, 0xBA};
static const unsigned char end_code[4] = {0x00, 0x00, 0x01, 0xB9};

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) return 1;
    char pos_name[4096];
    std::snprintf(pos_name, sizeof pos_name, "%s.pos", argv[1]);
    std::FILE* pos = std::fopen(pos_name, "w");
    if (pos == nullptr) return 1;
    fseeko(in, 0, SEEK_END);
    std::uint64_t endbyte = static_cast<std::uint64_t>(ftello(in));
    fseeko(in, 0, SEEK_SET);
    std::fprintf(pos, "# header\n");
    unsigned char g[4];
    std::uint64_t index = 0;
    for (std::uint64_t offset = 0; offset <= endbyte;) {
        std::uint64_t start = static_cast<std::uint64_t>(ftello(in));
        std::fread(g, 1, 4, in);
        if (std::memcmp(g, start_code, 4) == 0 && !std::feof(in)) {
            char name[32];
            std::snprintf(name, sizeof name, "%08llu.pss", static_cast<unsigned long long>(index));
            if (std::FILE* out = std::fopen(name, "wb")) {
                std::fwrite(g, 1, 4, out);
                for (;;) {
                    std::fread(g, 1, 4, in);
                    if (std::feof(in) || std::ferror(in)) break;
                    std::fwrite(g, 1, 4, out);
                    if (std::memcmp(g, end_code, 4) == 0) break;
                }
                std::fclose(out);
                ++index;
            }
            std::uint64_t end = static_cast<std::uint64_t>(ftello(in));
            std::fprintf(pos, "%s %llu %llu %llu\n", name, static_cast<unsigned long long>(start),
                         static_cast<unsigned long long>(end),
                         static_cast<unsigned long long>(end - start));
        }
        if (std::feof(in) || std::ferror(in)) break;
        offset = static_cast<std::uint64_t>(ftello(in));
    }
    std::fclose(in);
    return std::fclose(pos) == 0 ? 0 : 1;
}
