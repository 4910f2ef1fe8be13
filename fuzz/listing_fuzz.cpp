// Feeds arbitrary bytes through the line format and the record loop and
// checks every line against the layout's invariants and the plain model.
// The first input byte chooses the dialect and the flags of a direct
// format_line call; the rest is the source.

#include "driver/files.hpp"
#include "listing/line_format.hpp"
#include "listing_model.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

int hex_value(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

void check_line(std::string_view line, std::span<const std::uint8_t> record, bool first,
                bool more_follows, dialect form)
{
    const std::size_t n = record.size();
    const bool c = form == dialect::c;
    require(line.size() == (c ? 6 * n + (more_follows ? 14 : 15) : 6 * n + 12));
    require(line.find_first_of("\r\n") == line.size() - 2 && line.substr(line.size() - 2) == "\r\n");

    const std::string_view opener = c ? (first ? "\t\t\t\t{" : "\t\t\t\t ") : "\t\t\t\tDB\t";
    require(line.substr(0, opener.size()) == opener);
    std::size_t at = opener.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            require(line[at++] == ',');
        require(line.substr(at, c ? 2 : 1) == (c ? "0x" : "0"));
        at += c ? 2 : 1;
        const int high = hex_value(line[at]);
        const int low = hex_value(line[at + 1]);
        require(high >= 0 && low >= 0 && (high << 4 | low) == record[i]);
        at += 2;
        if (!c)
            require(line[at++] == 'H');
    }
    const std::string_view closer = c ? " */\r\n" : " \r\n";
    const std::string_view comment = line.substr(line.size() - closer.size() - n, n);
    require(comment.find('/') == std::string_view::npos);
    require(line.substr(line.size() - closer.size()) == closer);
    const std::string_view before_comment = c ? (more_follows ? ",\t/* " : "};\t/* ") : "\t; ";
    require(line.substr(at, before_comment.size()) == before_comment);
    require(at + before_comment.size() + n + closer.size() == line.size());

    require(line == model_line(record, first, more_follows, form));
}

std::string_view line_text(const listing_line& line)
{
    return {line.text.data(), line.length};
}

// Lists the source through the record loop, into memory.
std::string_view convert(std::span<const std::uint8_t> source, dialect form, char*& listing)
{
    // fmemopen takes no empty buffer.
    source_file = source.empty() ? std::fopen("/dev/null", "rb")
                                 : fmemopen(const_cast<std::uint8_t*>(source.data()), source.size(), "rb");
    std::size_t length = 0;
    target_file = open_memstream(&listing, &length);
    require(source_file != nullptr && target_file != nullptr);
    require(convert_records(form) == source.size());
    std::fclose(source_file);
    std::fclose(target_file);
    source_file = target_file = nullptr;
    return {listing, length};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const dialect form = (data[0] & 1) != 0 ? dialect::c : dialect::assembler;
    const std::span<const std::uint8_t> source(data + 1, size - 1);

    if (!source.empty()) {
        const auto record = source.first(std::min(source.size(), record_size));
        const bool first = (data[0] & 2) != 0;
        const bool more = (data[0] & 4) != 0;
        check_line(line_text(format_line(record, first, more, form)), record, first, more, form);
    }

    char* listing = nullptr;
    std::string_view rest = convert(source, form, listing);
    for (std::size_t at = 0; at < source.size(); at += record_size) {
        const auto record = source.subspan(at, std::min(source.size() - at, record_size));
        const bool more = at + record.size() < source.size();
        const std::size_t length = 6 * record.size() + (form == dialect::c ? (more ? 14 : 15) : 12);
        require(rest.size() >= length);
        check_line(rest.substr(0, length), record, at == 0, more, form);
        rest.remove_prefix(length);
    }
    require(rest.empty());
    std::free(listing);
    return 0;
}
