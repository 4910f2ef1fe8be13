#include "listing/line_format.hpp"

#include <cstring>

// KORMELT_PLAIN builds the portable code only, so that the tests cover it too.
#if defined(__SSE2__) && !defined(KORMELT_PLAIN)
#define KORMELT_SSE2 1
#include <emmintrin.h>
#else
#define KORMELT_SSE2 0
#endif

// SSSE3 is not part of every x86-64 processor: its code is compiled for it
// alone and chosen at run time.
#if KORMELT_SSE2 && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KORMELT_SSSE3 1
#include <tmmintrin.h>
#else
#define KORMELT_SSSE3 0
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

// Both bytes of every double-byte character of the record. Where a lead
// byte stands before a high byte a pair may start; pairs are taken from the
// left, and the second byte of a pair never starts another. So in each run
// of consecutive possible starts, the starts at even distance from the run's
// first one are taken. Adding the first bit of a run to the starts clears
// exactly that run, which finds the runs beginning on even positions without
// a loop, whose exits no branch predictor would foresee on binary data.
unsigned pair_bytes(unsigned high, unsigned lead)
{
    constexpr unsigned even = 0x5555u;
    const unsigned starts = lead & (high >> 1);
    const unsigned run_firsts = starts & ~(starts << 1);
    const unsigned even_runs = starts & ~(starts + (run_firsts & even));
    const unsigned odd_runs = starts & ~even_runs;
    const unsigned taken = (even_runs & even) | (odd_runs & ~even);
    return taken | taken << 1;
}

// The comment writers store straight into the line: a returned array would
// go through the stack, and reading its halves back stalls the processor.
void put_comment_plain(std::span<const std::uint8_t> record, char* to)
{
    const byte_classes classes = classify_plain(record);
    const unsigned shown = classes.visible | pair_bytes(classes.high, classes.lead);
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

__m128i load(const void* from)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

__m128i expand_bits(unsigned mask)
{
    return _mm_set_epi64x(static_cast<long long>(byte_masks[mask >> 8 & 0xFFu]),
                          static_cast<long long>(byte_masks[mask & 0xFFu]));
}

// Stores 16 bytes at to.
void put_comment_full(const std::uint8_t* record, char* to)
{
    const __m128i v = load(record);
    // Signed compares: v itself puts the high bytes below zero, v ^ 0x80
    // maps 0x81..0xFE onto 1..126.
    const __m128i shifted = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
    const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(shifted, _mm_setzero_si128()),
                                       _mm_cmplt_epi8(shifted, _mm_set1_epi8(127)));
    const __m128i visible = _mm_andnot_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('/')),
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F))));
    const unsigned pairs = pair_bytes(static_cast<unsigned>(_mm_movemask_epi8(v)),
                                      static_cast<unsigned>(_mm_movemask_epi8(lead)));
    const __m128i shown = _mm_or_si128(visible, expand_bits(pairs));
    const __m128i text = _mm_or_si128(_mm_and_si128(shown, v), _mm_andnot_si128(shown, _mm_set1_epi8('.')));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), text);
}
#endif

#if KORMELT_SSSE3
// The 80 bytes of the items of a full record are five vectors. Each takes
// its digits by shuffling the record's 32 hex digits, which sit in two
// vectors (bytes 0 to 7 and 8 to 15), and its fixed characters ("0x", "H",
// ",") from a constant.
struct item_vectors {
    std::array<std::array<std::int8_t, 16>, 5> from_low;  // shuffle of digits 0..15
    std::array<std::array<std::int8_t, 16>, 5> from_high; // shuffle of digits 16..31
    std::array<std::array<char, 16>, 5> fixed;
};

constexpr item_vectors make_item_vectors(dialect form)
{
    item_vectors v{};
    const std::size_t first_digit = form == dialect::c ? 2 : 1;
    const char* const pattern = form == dialect::c ? "0x??," : "0??H,";
    for (std::size_t at = 0; at < 80; ++at) {
        const std::size_t k = at / 16;
        const std::size_t i = at % 16;
        const std::size_t item = at / item_step;
        const std::size_t column = at % item_step;
        v.from_low[k][i] = v.from_high[k][i] = -128; // a shuffle index of -128 gives 0
        if (column == first_digit || column == first_digit + 1) {
            const std::size_t digit = 2 * item + (column - first_digit);
            auto& from = digit < 16 ? v.from_low : v.from_high;
            from[k][i] = static_cast<std::int8_t>(digit % 16);
        } else {
            v.fixed[k][i] = pattern[column];
        }
    }
    return v;
}

constexpr item_vectors c_item_vectors = make_item_vectors(dialect::c);
constexpr item_vectors asm_item_vectors = make_item_vectors(dialect::assembler);

template <dialect Form>
__attribute__((target("ssse3"))) void put_items_ssse3(const std::uint8_t* record, char* to)
{
    const item_vectors& layout = Form == dialect::c ? c_item_vectors : asm_item_vectors;
    const __m128i digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C',
                                         'D', 'E', 'F');
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i v = load(record);
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(v, nibble));
    const __m128i first_half = _mm_unpacklo_epi8(high, low);
    const __m128i second_half = _mm_unpackhi_epi8(high, low);
    for (std::size_t k = 0; k < 5; ++k) {
        const __m128i item_bytes = _mm_or_si128(
            load(layout.fixed[k].data()),
            _mm_or_si128(_mm_shuffle_epi8(first_half, load(layout.from_low[k].data())),
                         _mm_shuffle_epi8(second_half, load(layout.from_high[k].data()))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * k), item_bytes);
    }
}

const bool has_ssse3 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();
#endif

template <dialect Form, std::size_t Extent>
char* put_items(std::span<const std::uint8_t, Extent> record, char* to)
{
#if KORMELT_SSSE3
    if constexpr (Extent == record_size) {
        if (has_ssse3) {
            put_items_ssse3<Form>(record.data(), to);
            return to + record_size * item_step;
        }
    }
#endif
    const item_table& items = Form == dialect::c ? c_items : asm_items;
    for (const std::uint8_t b : record) {
        std::memcpy(to, items[b].data(), sizeof items[b]);
        to += item_step;
    }
    return to;
}

template <std::size_t N>
char* put(char* to, const char (&text)[N])
{
    std::memcpy(to, text, N - 1);
    return to + N - 1;
}

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

// A full record has its own copy of the layout code, with a fixed count, so
// that the compiler unrolls the items and inlines the comment.
template <dialect Form, std::size_t Extent>
listing_line compose(std::span<const std::uint8_t, Extent> record, bool first, bool more_follows)
{
    constexpr bool c = Form == dialect::c;
    listing_line line;
    char* const start = line.text.data();
    char* p = put(start, "\t\t\t\t");
    if constexpr (c)
        *p++ = first ? '{' : ' ';
    else
        p = put(p, "DB\t");

    p = put_items<Form>(record, p);
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
