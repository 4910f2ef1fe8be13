// Nanoseconds per listing line, both dialects, on random and on text records.

#include "listing/line_format.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <string_view>
#include <vector>

namespace {

using record = std::array<std::uint8_t, record_size>;

std::vector<record> random_records()
{
    std::mt19937 random(1);
    std::vector<record> records(1024);
    for (record& r : records)
        for (std::uint8_t& b : r)
            b = static_cast<std::uint8_t>(random());
    return records;
}

std::vector<record> text_records()
{
    constexpr std::string_view text =
        "#include <stdio.h>\n/* Embeds a font and prints its size. */\nstatic const unsigned "
        "char font[] = {0};\nint main(void) { printf(\"%u\\n\", (unsigned)sizeof font); return 0; }\n";
    std::vector<record> records(1024);
    std::size_t at = 0;
    for (record& r : records)
        for (std::uint8_t& b : r)
            b = static_cast<std::uint8_t>(text[at++ % text.size()]);
    return records;
}

void format_lines(benchmark::State& state, dialect form, bool text)
{
    const std::vector<record> records = text ? text_records() : random_records();
    std::size_t i = 0;
    for (auto _ : state) {
        listing_line line = format_line(records[i++ % records.size()], false, true, form);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(format_lines, c_random, dialect::c, false);
BENCHMARK_CAPTURE(format_lines, c_text, dialect::c, true);
BENCHMARK_CAPTURE(format_lines, asm_random, dialect::assembler, false);
BENCHMARK_CAPTURE(format_lines, asm_text, dialect::assembler, true);

} // namespace

BENCHMARK_MAIN();
