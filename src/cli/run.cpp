#include "cli/run.hpp"

#include <limits>
#include <string>

#include "cli/offsets.hpp"
#include "cli/usage.hpp"
#include "extract/extractor.hpp"
#include "extract/file_source.hpp"
#include "extract/position_file.hpp"
#include "extract/scanner.hpp"
#include "platform/file.hpp"

namespace quibrel {

int run(std::span<const char* const> args, std::FILE* out) {
    if (args.empty()) {
        show_usage(out);
        return usage_status;
    }

    const std::string input_name = args[0];
    std::optional<platform::file> input = platform::file::open_for_reading(input_name);
    if (!input || input->is_directory()) {
        std::fprintf(out, "Error: Could not open file %s\n", input_name.c_str());
        return status_failed;
    }

    const std::uint64_t startbyte = args.size() >= 2 ? parse_offset(args[1]) : 0;
    // An input whose length can't be told (a pipe) is scanned to its end.
    const std::uint64_t endbyte =
        args.size() == 3
            ? parse_offset(args[2])
            : measure_length(*input).value_or(std::numeric_limits<std::uint64_t>::max());

    const std::string position_name = input_name + ".pos";
    std::optional<platform::file> created;
    // Creating the position file must never empty the input.
    if (!platform::same_file(position_name, input_name)) {
        created = platform::file::create_for_writing(position_name);
    }
    if (!created) {
        std::fprintf(out, "Error couldn't create data file\n");
        return status_failed;
    }
    position_file positions(std::move(*created));

    // An offset that no seek can reach lies past the end of any file. An
    // input that can't seek at all (a pipe) can still be read from its start.
    const bool beyond_any_file =
        startbyte > static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
    bool positioned =
        beyond_any_file || input->seek(startbyte) || (startbyte == 0 && !input->tell());
    input->advise_sequential();

    write_position_header(positions, input_name);

    bool failed = !positioned;
    if (positioned) {
        stream_extractor extractor(input_name, position_name, positions, out);
        file_source source(*input, beyond_any_file);
        scan_result result = scan_range(source, extractor, startbyte, endbyte);
        failed = extractor.failed();
        if (result == scan_result::read_error) {
            std::fprintf(out, "Error: Could not read file %s\n", input_name.c_str());
            failed = true;
        }
    } else {
        std::fprintf(out, "Error: Could not read file %s\n", input_name.c_str());
    }
    input->close();

    if (!positions.close()) {
        std::fprintf(out, "Error: Could not write file %s\n", position_name.c_str());
        return status_position_file_failed;
    }
    return failed ? status_failed : status_ok;
}

}  // namespace quibrel
