#include "driver/files.hpp"
#include "listing/listing.hpp"

#include <array>
#include <cinttypes>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* banner = "\n"
                               "KORMELT V3.0  any file to data lines\n"
                               "for include data in C or ASM source file\n";

constexpr const char* usage = "Command: KORMELT source_name target_name [/C]\n"
                              " [/C] for C, else for ASM\n";

// Large stream buffers cut the number of system calls; they are static so
// that the working path allocates nothing.
std::array<char, 64 * 1024> source_buffer;
std::array<char, 128 * 1024> target_buffer;

void open_source(const char* name)
{
    // Read-only: a writing open refuses read-only files and, on a pipe,
    // would hold the write end itself so that the end of input never came.
    source_file = std::fopen(name, "rb");
    if (source_file == nullptr)
        fatal_error("Failed open Source\n");
    std::error_code error;
    if (std::filesystem::is_directory(name, error))
        fatal_error("Failed open Source\n");
    std::setvbuf(source_file, source_buffer.data(), _IOFBF, source_buffer.size());
}

void refuse_same_file(const char* source_name, const char* target_name)
{
    // The target's open truncates it: were it the source, by name or by
    // link, the source would be gone before it was read.
    std::error_code error;
    if (std::filesystem::equivalent(source_name, target_name, error))
        fatal_error("Source and Target are the same file\n");
}

void open_target(const char* name)
{
    target_file = std::fopen(name, "wb");
    if (target_file == nullptr)
        fatal_error("Failed create Target\n");
    std::setvbuf(target_file, target_buffer.data(), _IOFBF, target_buffer.size());
}

dialect choose_dialect(int argc, char** argv)
{
    if (argc < 4)
        return dialect::assembler;
    const char* word = argv[3];
    if (word[0] == '/' && (word[1] == 'C' || word[1] == 'c'))
        return dialect::c;
    return dialect::assembler;
}

} // namespace

int main(int argc, char** argv)
{
    std::fputs(banner, stdout);
    if (argc < 3)
        fatal_error(usage);
    open_source(argv[1]);
    refuse_same_file(argv[1], argv[2]);
    open_target(argv[2]);
    const dialect form = choose_dialect(argc, argv);
    // 64 bits: sources of 2 GiB and of 4 GiB and more report their true size.
    const std::uint64_t total = convert_records(form);
    close_files();
    std::printf("Source size: %" PRIu64 " bytes\n", total);
    // Success is 0, so that build scripts and make files go on.
    return 0;
}
