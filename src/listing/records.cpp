#include "driver/files.hpp"
#include "listing/line_format.hpp"

namespace {

using record_buffer = std::array<std::uint8_t, record_size>;

std::size_t read_record(record_buffer& record)
{
    const std::size_t count = std::fread(record.data(), 1, record.size(), source_file);
    // A failed read is not the end of the source: taking it for one would
    // write a truncated listing and report success.
    if (count < record.size() && std::ferror(source_file) != 0)
        fatal_error("Failed Reading\n");
    return count;
}

void write_line(const listing_line& line)
{
    const std::size_t accepted = std::fwrite(line.text.data(), 1, line.length, target_file);
    if (accepted == 0)
        fatal_error("Failed Writing\n");
    if (accepted != line.length)
        fatal_error("Write length Error\n");
}

} // namespace

std::uint64_t convert_records(dialect form)
{
    record_buffer current;
    record_buffer ahead;
    std::uint64_t total = 0;
    std::size_t count = read_record(current);
    while (count > 0) {
        // Only a full record reads ahead: the look-ahead tells its line
        // whether it is the last one.
        std::size_t ahead_count = 0;
        if (count == record_size)
            ahead_count = read_record(ahead);
        write_line(format_line({current.data(), count}, total == 0, ahead_count > 0, form));
        total += count;
        if (count < record_size)
            break;
        current = ahead;
        count = ahead_count;
    }
    return total;
}
