#include "listing/line_format.hpp"

#include <cstring>

// KORMELT_PLAIN builds the portable code only, so that the tests cover it too.
#if defined(__SSE2__) && !defined(KORMELT_PLAIN)
#define KORMELT_SSE2 1
#include <emmintrin.h>
#else
#define KORMELT_SSE2 0
#endif

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
constexpr bool is_visible(unsigned b)
{
    return b >= 0x21 && b <= 0x7E && b != '/';
}

constexpr bool is_lead(unsigned b)
{
    return b >= 0x81 && b <= 0xFE;
}

// Masks with bit i standing for byte i of a record.
struct byte_classes {
    unsigned high;    // 0x80 and above
    unsigned lead;    // may start a double-byte character
    unsigned visible; // stands for itself
};

byte_classes classify_plain(std::span<const std::uint8_t> record)
{
    byte_classes classes{0, 0, 0};
    for (std::size_t i = 0; i < record.size(); ++i) {
        const unsigned b = record[i];
        classes.high |= (b >> 7) << i;
        classes.lead |= static_cast<unsigned>(is_lead(b)) << i;
        classes.visible |= static_cast<unsigned>(is_visible(b)) << i;
    }
    return classes;
}

// Where a double-byte character may start (a lead byte before a high byte),
// pairs are taken from the left: the second byte of a pair never starts
// another. The table gives, for eight such bits and whether the byte before
// them was a taken start, the starts that are taken; two lookups replace a
// loop whose exits no branch predictor foresees on binary data.
using pair_table = std::array<std::array<std::uint8_t, 256>, 2>;

constexpr pair_table make_pair_starts()
{
    pair_table table{};
    for (unsigned carry = 0; carry < 2; ++carry) {
        for (unsigned starts = 0; starts < 256; ++starts) {
            unsigned taken = 0;
            bool previous_taken = carry != 0;
            for (unsigned i = 0; i < 8; ++i) {
                const bool take = (starts >> i & 1u) != 0 && !previous_taken;
                taken |= static_cast<unsigned>(take) << i;
                previous_taken = take;
            }
            table[carry][starts] = static_cast<std::uint8_t>(taken);
        }
    }
    return table;
}

constexpr pair_table pair_starts = make_pair_starts();

// Both bytes of every double-byte character of the record.
unsigned pair_bytes(const byte_classes& classes)
{
    const unsigned starts = classes.lead & (classes.high >> 1);
    const unsigned low = pair_starts[0][starts & 0xFFu];
    const unsigned high = pair_starts[low >> 7][starts >> 8];
    const unsigned taken = low | high << 8;
    return taken | taken << 1;
}

// The comment writers store straight into the line: a returned array would
// go through the stack, and reading its halves back stalls the processor.
void put_comment_plain(std::span<const std::uint8_t> record, char* to)
{
    const byte_classes classes = classify_plain(record);
    const unsigned shown = classes.visible | pair_bytes(classes);
    for (std::size_t i = 0; i < record.size(); ++i)
        to[i] = (shown >> i & 1u) != 0 ? static_cast<char>(record[i]) : '.';
}

#if KORMELT_SSE2
// SSE2 is part of every x86-64 processor, so this needs no runtime check.

// Eight mask bytes for each eight bits: 0xFF where the bit is set.
constexpr std::array<std::uint64_t, 256> make_byte_masks()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned bits = 0; bits < 256; ++bits)
        for (unsigned i = 0; i < 8; ++i)
            if ((bits >> i & 1u) != 0)
                table[bits] |= std::uint64_t{0xFF} << (8 * i);
    return table;
}

constexpr std::array<std::uint64_t, 256> byte_masks = make_byte_masks();

__m128i expand_bits(unsigned mask)
{
    return _mm_set_epi64x(static_cast<long long>(byte_masks[mask >> 8 & 0xFFu]),
                          static_cast<long long>(byte_masks[mask & 0xFFu]));
}

// Stores 16 bytes at to.
void put_comment_full(const std::uint8_t* record, char* to)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record));
    // Signed compares: v itself puts the high bytes below zero, v ^ 0x80
    // maps 0x81..0xFE onto 1..126.
    const __m128i shifted = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
    const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(shifted, _mm_setzero_si128()),
                                       _mm_cmplt_epi8(shifted, _mm_set1_epi8(127)));
    const __m128i visible = _mm_andnot_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('/')),
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F))));
    const byte_classes classes{static_cast<unsigned>(_mm_movemask_epi8(v)),
                               static_cast<unsigned>(_mm_movemask_epi8(lead)), 0};
    const __m128i shown = _mm_or_si128(visible, expand_bits(pair_bytes(classes)));
    const __m128i text = _mm_or_si128(_mm_and_si128(shown, v), _mm_andnot_si128(shown, _mm_set1_epi8('.')));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), text);
}
#endif

template <std::size_t N>
char* put(char* to, const char (&text)[N])
{
    std::memcpy(to, text, N - 1);
    return to + N - 1;
}

// A full record has its own copy of the layout code, with a fixed count, so
// that the compiler unrolls the items and inlines the comment.
template <std::size_t Extent>
void put_comment(std::span<const std::uint8_t, Extent> record, char* to)
{
#if KORMELT_SSE2
    if constexpr (Extent == record_size) {
        put_comment_full(record.data(), to);
        return;
    }
#endif
    put_comment_plain(record, to);
}

template <dialect Form, std::size_t Extent>
listing_line compose(std::span<const std::uint8_t, Extent> record, bool first, bool more_follows)
{
    constexpr bool c = Form == dialect::c;
    constexpr const item_table& items = c ? c_items : asm_items;
    listing_line line;
    char* const start = line.text.data();
    char* p = put(start, "\t\t\t\t");
    if constexpr (c)
        *p++ = first ? '{' : ' ';
    else
        p = put(p, "DB\t");

    for (const std::uint8_t b : record) {
        std::memcpy(p, items[b].data(), sizeof items[b]);
        p += item_step;
    }
    --p; // the last item's comma gives way to the terminator
    if constexpr (c)
        p = more_follows ? put(p, ",\t/* ") : put(p, "};\t/* ");
    else
        p = put(p, "\t; ");

    put_comment(record, p);
    p += record.size();
    p = c ? put(p, " */\r\n") : put(p, " \r\n");
    line.length = static_cast<std::size_t>(p - start);
    return line;
}

} // namespace

std::array<char, record_size> render_comment(std::span<const std::uint8_t> record)
{
    std::array<char, record_size> comment{};
    if (record.size() == record_size)
        put_comment(record.first<record_size>(), comment.data());
    else
        put_comment(record, comment.data());
    return comment;
}

listing_line format_line(std::span<const std::uint8_t> record, bool first,
                         bool more_follows, dialect form)
{
    const bool c = form == dialect::c;
    if (record.size() == record_size) {
        const auto full = record.first<record_size>();
        return c ? compose<dialect::c>(full, first, more_follows)
                 : compose<dialect::assembler>(full, first, more_follows);
    }
    return c ? compose<dialect::c>(record, first, more_follows)
             : compose<dialect::assembler>(record, first, more_follows);
}
