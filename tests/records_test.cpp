#include "driver/files.hpp"
#include "listing/line_format.hpp"
#include "listing_model.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Runs the record loop from a real source file into a real target file.
std::string convert(const std::vector<std::uint8_t>& source, dialect form,
                    std::uint64_t* total = nullptr)
{
    source_file = std::tmpfile();
    target_file = std::tmpfile();
    if (!source.empty())
        std::fwrite(source.data(), 1, source.size(), source_file);
    std::rewind(source_file);
    const std::uint64_t listed = convert_records(form);
    if (total != nullptr)
        *total = listed;

    std::string listing;
    std::rewind(target_file);
    for (int ch; (ch = std::fgetc(target_file)) != EOF;)
        listing += static_cast<char>(ch);
    std::fclose(source_file);
    std::fclose(target_file);
    source_file = target_file = nullptr;
    return listing;
}

std::vector<std::string> split_lines(const std::string& listing)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < listing.size();) {
        const std::size_t end = listing.find("\r\n", at);
        lines.push_back(listing.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::vector<std::uint8_t> text_of(std::size_t size)
{
    std::vector<std::uint8_t> source(size);
    for (std::size_t i = 0; i < size; ++i)
        source[i] = static_cast<std::uint8_t>('a' + i % 26);
    return source;
}

struct sequence_case {
    std::size_t size;
    std::vector<std::size_t> items_per_line;
};

class record_sequences : public testing::TestWithParam<sequence_case> {};

TEST_P(record_sequences, list_every_byte_once_with_opener_and_terminator_in_place)
{
    const sequence_case& row = GetParam();
    for (const dialect form : {dialect::c, dialect::assembler}) {
        std::uint64_t total = 0;
        const std::vector<std::string> lines = split_lines(convert(text_of(row.size), form, &total));
        EXPECT_EQ(total, row.size);
        ASSERT_EQ(lines.size(), row.items_per_line.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            // The items stand between the opener and the first TAB after it.
            const std::size_t from = form == dialect::c ? 5 : 7;
            const std::string items = line.substr(from, line.find('\t', from) - from);
            const std::size_t commas = std::count(items.begin(), items.end(), ',');
            const std::size_t count = items.ends_with(',') ? commas : commas + 1;
            EXPECT_EQ(count, row.items_per_line[i]) << "line " << i;
            const bool last = i + 1 == lines.size();
            if (form == dialect::c) {
                EXPECT_EQ(line[4], i == 0 ? '{' : ' ') << "line " << i;
                EXPECT_EQ(line.find("};") != std::string::npos, last) << "line " << i;
            } else {
                EXPECT_EQ(line.substr(0, 7), "\t\t\t\tDB\t") << "line " << i;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(sizes, record_sequences,
                         testing::Values(sequence_case{0, {}}, sequence_case{1, {1}},
                                         sequence_case{15, {15}}, sequence_case{16, {16}},
                                         sequence_case{17, {16, 1}}, sequence_case{32, {16, 16}},
                                         sequence_case{33, {16, 16, 1}}),
                         [](const auto& info) { return "bytes_" + std::to_string(info.param.size); });

TEST(record_loop, matches_the_plain_model_for_random_sources_of_every_size)
{
    std::mt19937 random(20261211);
    std::vector<std::uint8_t> source;
    for (std::size_t size = 0; size <= 3000; ++size) {
        for (const dialect form : {dialect::c, dialect::assembler}) {
            std::uint64_t total = 0;
            ASSERT_EQ(convert(source, form, &total), model_listing(source, form)) << "size " << size;
            ASSERT_EQ(total, size);
        }
        source.push_back(static_cast<std::uint8_t>(random()));
    }
}

} // namespace
