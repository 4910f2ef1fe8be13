#pragma once

// A deliberately plain model of the listing, written character by character
// from the layout rules and sharing no code with the tool, so that the
// tool's tables and bit tricks are checked against something independent.

#include "listing/listing.hpp"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

inline std::string model_comment(std::span<const std::uint8_t> record)
{
    std::string text;
    std::size_t i = 0;
    while (i < record.size()) {
        const std::uint8_t b = record[i];
        const bool lead = b >= 0x81 && b <= 0xFE;
        if (lead && i + 1 < record.size() && record[i + 1] >= 0x80) {
            text += static_cast<char>(b);
            text += static_cast<char>(record[i + 1]);
            i += 2;
            continue;
        }
        const bool plain = b >= 0x21 && b <= 0x7E && b != '/';
        text += plain ? static_cast<char>(b) : '.';
        i += 1;
    }
    return text;
}

inline std::string model_line(std::span<const std::uint8_t> record, bool first,
                              bool more_follows, dialect form)
{
    const bool c = form == dialect::c;
    std::string line = "\t\t\t\t";
    if (c)
        line += first ? "{" : " ";
    else
        line += "DB\t";
    for (std::size_t i = 0; i < record.size(); ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", record[i]);
        if (i > 0)
            line += ",";
        line += c ? std::string("0x") + hex : std::string("0") + hex + "H";
    }
    if (c)
        line += more_follows ? "," : "};";
    line += c ? "\t/* " : "\t; ";
    line += model_comment(record);
    line += c ? " */" : " ";
    line += "\r\n";
    return line;
}

inline std::string model_listing(std::span<const std::uint8_t> source, dialect form)
{
    std::string listing;
    for (std::size_t at = 0; at < source.size(); at += 16) {
        const std::size_t n = source.size() - at < 16 ? source.size() - at : 16;
        listing += model_line(source.subspan(at, n), at == 0, at + n < source.size(), form);
    }
    return listing;
}
