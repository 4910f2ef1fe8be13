#pragma once

#include "listing/listing.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t record_size = 16;

// The longest line is 111 bytes (C, 16 bytes, last line); the slack lets the
// formatter store whole words past the end of what it keeps.
inline constexpr std::size_t line_capacity = 128;

struct listing_line {
    std::array<char, line_capacity> text;
    std::size_t length;
};

// One uppercase hexadecimal digit for the low four bits of v.
constexpr char hex_digit(unsigned v)
{
    v &= 0xFu;
    return static_cast<char>(v < 10 ? 0x30 + v : 0x37 + v);
}

// The comment column of a record: one character per byte, so only the first
// record.size() characters count.
std::array<char, record_size> render_comment(std::span<const std::uint8_t> record);

// One listing line, CR LF included, for a record of 1 to 16 bytes.
listing_line format_line(std::span<const std::uint8_t> record, bool first,
                         bool more_follows, dialect form);
