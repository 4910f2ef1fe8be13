#include "listing/line_format.hpp"

#include <bit>
#include <cstring>

namespace {

// Each item with its trailing comma, padded to eight bytes so that one
// fixed-size copy places it; the next item's copy overwrites the padding.
using item_table = std::array<std::array<char, 8>, 256>;

constexpr item_table make_items(dialect form)
{
    item_table table{};
    for (unsigned b = 0; b < 256; ++b) {
        const char high = hex_digit(b >> 4);
        const char low = hex_digit(b);
        if (form == dialect::c)
            table[b] = {'0', 'x', high, low, ',', 0, 0, 0};
        else
            table[b] = {'0', high, low, 'H', ',', 0, 0, 0};
    }
    return table;
}

constexpr item_table c_items = make_items(dialect::c);
constexpr item_table asm_items = make_items(dialect::assembler);
constexpr std::size_t item_step = 5;

// Bytes that stand for themselves in the comment. "/" never does, so the
// text can neither open nor close a C comment.
constexpr std::array<std::uint8_t, 256> make_visible()
{
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0x21; b <= 0x7E; ++b)
        table[b] = b != '/';
    return table;
}

constexpr std::array<std::uint8_t, 256> visible = make_visible();

template <std::size_t N>
char* put(char* to, const char (&text)[N])
{
    std::memcpy(to, text, N - 1);
    return to + N - 1;
}

} // namespace

std::array<char, record_size> render_comment(std::span<const std::uint8_t> record)
{
    unsigned high = 0;
    unsigned lead = 0;
    unsigned shown = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const unsigned b = record[i];
        high |= (b >> 7) << i;
        lead |= static_cast<unsigned>(b - 0x81u <= 0xFEu - 0x81u) << i;
        shown |= static_cast<unsigned>(visible[b]) << i;
    }
    // A lead byte whose successor in this record is high starts a double-byte
    // character; the second byte of a pair never starts another one, so the
    // pairs are taken from the left.
    unsigned starts = lead & (high >> 1);
    while (starts != 0) {
        const unsigned pair = 3u << std::countr_zero(starts);
        shown |= pair;
        starts &= ~pair;
    }
    std::array<char, record_size> comment{};
    for (std::size_t i = 0; i < record.size(); ++i)
        comment[i] = (shown >> i & 1u) != 0 ? static_cast<char>(record[i]) : '.';
    return comment;
}

listing_line format_line(std::span<const std::uint8_t> record, bool first,
                         bool more_follows, dialect form)
{
    const bool c = form == dialect::c;
    listing_line line;
    char* const start = line.text.data();
    char* p = put(start, "\t\t\t\t");
    if (c)
        *p++ = first ? '{' : ' ';
    else
        p = put(p, "DB\t");

    const item_table& items = c ? c_items : asm_items;
    for (const std::uint8_t b : record) {
        std::memcpy(p, items[b].data(), sizeof items[b]);
        p += item_step;
    }
    --p; // the last item's comma gives way to the terminator
    if (c)
        p = more_follows ? put(p, ",\t/* ") : put(p, "};\t/* ");
    else
        p = put(p, "\t; ");

    const std::array<char, record_size> comment = render_comment(record);
    std::memcpy(p, comment.data(), comment.size());
    p += record.size();
    p = c ? put(p, " */\r\n") : put(p, " \r\n");
    line.length = static_cast<std::size_t>(p - start);
    return line;
}
