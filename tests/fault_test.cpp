// Drives the record loop and the closing of the files through streams that
// fail on demand, in a child process, since every failure ends the process.

#include "driver/files.hpp"
#include "listing/listing.hpp"
#include "listing_model.hpp"
#include "run_process.hpp"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// What the child's streams saw, in memory shared with the parent.
struct stream_log {
    std::size_t source_bytes_read;
    bool source_closed;
    bool target_closed;
    std::size_t target_length;
    char target[1 << 16];
};

struct source_cookie {
    const std::vector<std::uint8_t>* bytes;
    std::size_t fail_at; // the read that reaches this offset fails
    std::size_t at;
    stream_log* log;
};

struct target_cookie {
    std::size_t budget; // bytes accepted in all; a write beyond gets only the rest
    stream_log* log;
};

ssize_t read_source(void* cookie, char* to, std::size_t size)
{
    auto& source = *static_cast<source_cookie*>(cookie);
    if (source.at >= source.fail_at)
        return -1;
    const std::size_t n = std::min({size, source.bytes->size() - source.at, source.fail_at - source.at});
    std::memcpy(to, source.bytes->data() + source.at, n);
    source.at += n;
    source.log->source_bytes_read += n;
    return static_cast<ssize_t>(n);
}

ssize_t write_target(void* cookie, const char* from, std::size_t size)
{
    auto& target = *static_cast<target_cookie*>(cookie);
    stream_log& log = *target.log;
    const std::size_t n = std::min(size, target.budget - log.target_length);
    std::memcpy(log.target + log.target_length, from, n);
    log.target_length += n;
    return static_cast<ssize_t>(n); // less than size is a failure
}

int close_source(void* cookie)
{
    static_cast<source_cookie*>(cookie)->log->source_closed = true;
    return 0;
}

int close_target(void* cookie)
{
    static_cast<target_cookie*>(cookie)->log->target_closed = true;
    return 0;
}

struct fault_case {
    const char* name;
    std::size_t source_size;
    std::size_t read_fails_at;     // source offset whose read fails
    std::size_t write_budget;      // target bytes accepted before writes fail
    std::size_t target_buffer;     // 0: every write request reaches the stream's writer
    const char* message;
    std::size_t kept;              // bytes of the listing the target keeps
    std::size_t source_bytes_read; // no source byte is read after a write fault
};

std::vector<std::uint8_t> source_bytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return bytes;
}

// A full C line with more to follow.
constexpr std::size_t full_line = 6 * 16 + 14;

const std::vector<fault_case> fault_cases = {
    // Record 0 is listed; the look-ahead read after record 1 delivers 8 bytes and fails.
    {"read_fails_midway", 200, 40, SIZE_MAX, 0, "Failed Reading\n", full_line, 40},
    // Line 2 is refused whole, after records 0 to 2 and the look-ahead record 3 were read.
    {"write_accepts_nothing", 200, SIZE_MAX, 2 * full_line, 0, "Failed Writing\n",
     2 * full_line, 64},
    {"write_accepts_part", 200, SIZE_MAX, 2 * full_line + 10, 0, "Write length Error\n",
     2 * full_line + 10, 64},
    // The loop's one flush of a full 4096-byte buffer goes through; the close's does not.
    {"close_flush_fails", 1000, SIZE_MAX, 4096, 4096, "Failed Writing\n", 4096, 1000},
};

class faults : public testing::TestWithParam<fault_case> {};

TEST_P(faults, end_with_status_3_and_keep_what_was_written)
{
    const fault_case& row = GetParam();
    const std::vector<std::uint8_t> source = source_bytes(row.source_size);
    void* shared = mmap(nullptr, sizeof(stream_log), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* log = new (shared) stream_log{};
    const std::string out_path = testing::TempDir() + "kormelt-fault-out";

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        std::freopen(out_path.c_str(), "w", stdout);
        source_cookie source_state{&source, row.read_fails_at, 0, log};
        target_cookie target_state{row.write_budget, log};
        source_file = fopencookie(&source_state, "rb", {read_source, nullptr, nullptr, close_source});
        target_file = fopencookie(&target_state, "wb", {nullptr, write_target, nullptr, close_target});
        // Unbuffered, the source hands over exactly the bytes the loop asks
        // for and every line reaches the target as one write of its own.
        std::setvbuf(source_file, nullptr, _IONBF, 0);
        if (row.target_buffer == 0)
            std::setvbuf(target_file, nullptr, _IONBF, 0);
        else
            std::setvbuf(target_file, nullptr, _IOFBF, row.target_buffer);
        convert_records(dialect::c);
        close_files();
        std::_Exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(read_file(out_path), row.message);
    const std::string listing = model_listing(source, dialect::c);
    EXPECT_EQ(std::string(log->target, log->target_length), listing.substr(0, row.kept));
    EXPECT_TRUE(log->source_closed);
    EXPECT_TRUE(log->target_closed);
    EXPECT_EQ(log->source_bytes_read, row.source_bytes_read);
    munmap(shared, sizeof(stream_log));
}

INSTANTIATE_TEST_SUITE_P(table, faults, testing::ValuesIn(fault_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
