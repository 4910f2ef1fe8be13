#include "driver/files.hpp"
#include "listing/line_format.hpp"

#include <utility>

namespace {

using record_buffer = std::array<std::uint8_t, record_size>;

// glibc's unlocked stream calls skip the stream lock, which a tool of one
// thread never needs; elsewhere the plain calls do the same work.
std::size_t read_bytes(void* to, std::size_t count, std::FILE* from)
{
#if defined(__GLIBC__)
    return fread_unlocked(to, 1, count, from);
#else
    return std::fread(to, 1, count, from);
#endif
}

std::size_t write_bytes(const void* from, std::size_t count, std::FILE* to)
{
#if defined(__GLIBC__)
    return fwrite_unlocked(from, 1, count, to);
#else
    return std::fwrite(from, 1, count, to);
#endif
}

std::size_t read_record(record_buffer& record)
{
    const std::size_t count = read_bytes(record.data(), record.size(), source_file);
    // A failed read is not the end of the source: taking it for one would
    // write a truncated listing and report success.
    if (count < record.size() && std::ferror(source_file) != 0)
        fatal_error("Failed Reading\n");
    return count;
}

void write_line(const listing_line& line)
{
    const std::size_t accepted = write_bytes(line.text.data(), line.length, target_file);
    if (accepted == 0)
        fatal_error("Failed Writing\n");
    if (accepted != line.length)
        fatal_error("Write length Error\n");
}

} // namespace

std::uint64_t convert_records(dialect form)
{
    std::array<record_buffer, 2> records;
    record_buffer* current = &records[0];
    record_buffer* ahead = &records[1];
    std::uint64_t total = 0;
    std::size_t count = read_record(*current);
    while (count > 0) {
        // Only a full record reads ahead: the look-ahead tells its line
        // whether it is the last one.
        std::size_t ahead_count = 0;
        if (count == record_size)
            ahead_count = read_record(*ahead);
        write_line(format_line({current->data(), count}, total == 0, ahead_count > 0, form));
        total += count;
        if (count < record_size)
            break;
        std::swap(current, ahead);
        count = ahead_count;
    }
    return total;
}
