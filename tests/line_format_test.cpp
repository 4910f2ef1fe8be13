#include "listing/line_format.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::string format(const std::string& record, bool first, bool more, dialect form)
{
    const listing_line line = format_line(bytes(record), first, more, form);
    return {line.text.data(), line.length};
}

struct line_case {
    const char* name;
    std::string record;
    bool first;
    bool more;
    dialect form;
    std::string expected;
};

// 48 69 20 2F 2A 0D 0A 7F 80 FF B0 A1 C4 41 5C D6: letters, blank, slash,
// star, controls, 7F, 80, FF, a pair, a lone lead, a backslash, a last lead.
const std::string comment_rule_record = "Hi /*\r\n\x7F\x80\xFF\xB0\xA1\xC4" "A\\\xD6";

const std::vector<line_case> line_cases = {
    {"c_first_full_more", "ABCDEFGHIJKLMNOP", true, true, dialect::c,
     "\t\t\t\t{0x41,0x42,0x43,0x44,0x45,0x46,0x47,0x48,0x49,0x4A,0x4B,0x4C,0x4D,0x4E,0x4F,0x50,"
     "\t/* ABCDEFGHIJKLMNOP */\r\n"},
    {"c_last_short", "Q/", false, false, dialect::c, "\t\t\t\t 0x51,0x2F};\t/* Q. */\r\n"},
    {"asm_first_full", "ABCDEFGHIJKLMNOP", true, true, dialect::assembler,
     "\t\t\t\tDB\t041H,042H,043H,044H,045H,046H,047H,048H,049H,04AH,04BH,04CH,04DH,04EH,04FH,050H"
     "\t; ABCDEFGHIJKLMNOP \r\n"},
    {"asm_last_short", "Q/", false, false, dialect::assembler, "\t\t\t\tDB\t051H,02FH\t; Q. \r\n"},
    {"asm_ignores_first_and_more", "Q/", true, true, dialect::assembler,
     "\t\t\t\tDB\t051H,02FH\t; Q. \r\n"},
    {"c_one_byte_whole_source", std::string(1, '\0'), true, false, dialect::c,
     "\t\t\t\t{0x00};\t/* . */\r\n"},
    {"asm_one_byte", "\xFF", true, false, dialect::assembler, "\t\t\t\tDB\t0FFH\t; . \r\n"},
    {"c_full_first_and_last", comment_rule_record, true, false, dialect::c,
     "\t\t\t\t{0x48,0x69,0x20,0x2F,0x2A,0x0D,0x0A,0x7F,0x80,0xFF,0xB0,0xA1,0xC4,0x41,0x5C,0xD6};"
     "\t/* Hi..*.....\xB0\xA1.A\\. */\r\n"},
    {"c_full_middle", comment_rule_record, false, true, dialect::c,
     "\t\t\t\t 0x48,0x69,0x20,0x2F,0x2A,0x0D,0x0A,0x7F,0x80,0xFF,0xB0,0xA1,0xC4,0x41,0x5C,0xD6,"
     "\t/* Hi..*.....\xB0\xA1.A\\. */\r\n"},
    {"asm_digit_items_keep_leading_zero", "\x12\x9A", false, true, dialect::assembler,
     "\t\t\t\tDB\t012H,09AH\t; .. \r\n"},
    {"pair_at_record_end", "ABCDEFGHIJKLMN\xB0\xA1", false, true, dialect::assembler,
     "\t\t\t\tDB\t041H,042H,043H,044H,045H,046H,047H,048H,049H,04AH,04BH,04CH,04DH,04EH,0B0H,0A1H"
     "\t; ABCDEFGHIJKLMN\xB0\xA1 \r\n"},
    // A pair split across records is never joined: both halves are judged alone.
    {"lead_at_record_end", "ABCDEFGHIJKLMNO\xB0", false, true, dialect::assembler,
     "\t\t\t\tDB\t041H,042H,043H,044H,045H,046H,047H,048H,049H,04AH,04BH,04CH,04DH,04EH,04FH,0B0H"
     "\t; ABCDEFGHIJKLMNO. \r\n"},
    {"partner_at_record_start", "\xA1Z", false, false, dialect::assembler,
     "\t\t\t\tDB\t0A1H,05AH\t; .Z \r\n"},
    {"three_high_then_low", "a\x81\x82\x83" "b", false, false, dialect::assembler,
     "\t\t\t\tDB\t061H,081H,082H,083H,062H\t; a\x81\x82.b \r\n"},
    {"four_high_make_two_pairs", "\x81\x82\x83\x80", false, false, dialect::assembler,
     "\t\t\t\tDB\t081H,082H,083H,080H\t; \x81\x82\x83\x80 \r\n"},
    {"lead_with_80_and_ff_partners", "\xC1\x80\xFE\xFF", false, false, dialect::assembler,
     "\t\t\t\tDB\t0C1H,080H,0FEH,0FFH\t; \xC1\x80\xFE\xFF \r\n"},
    {"80_and_ff_never_lead", "\x80\x81\xFF\xA1", false, false, dialect::assembler,
     "\t\t\t\tDB\t080H,081H,0FFH,0A1H\t; .\x81\xFF. \r\n"},
};

class format_line_cases : public testing::TestWithParam<line_case> {};

TEST_P(format_line_cases, gives_the_exact_line)
{
    const line_case& row = GetParam();
    EXPECT_EQ(format(row.record, row.first, row.more, row.form), row.expected);
}

INSTANTIATE_TEST_SUITE_P(table, format_line_cases, testing::ValuesIn(line_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(hex_digit, gives_uppercase_digits_of_the_low_nibble)
{
    const std::string digits = "0123456789ABCDEF";
    for (unsigned v = 0; v < 256; ++v)
        EXPECT_EQ(hex_digit(v), digits[v & 0xF]) << v;
}

} // namespace
