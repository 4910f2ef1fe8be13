#include "driver/files.hpp"

#include <cstdlib>

std::FILE* source_file = nullptr;
std::FILE* target_file = nullptr;

void fatal_error(const char* message)
{
    std::fputs(message, stdout);
    if (source_file != nullptr) {
        std::fclose(source_file);
        source_file = nullptr;
    }
    // Closing flushes: a partly written target keeps what was handed over.
    if (target_file != nullptr) {
        std::fclose(target_file);
        target_file = nullptr;
    }
    std::exit(3);
}

void close_files()
{
    std::fclose(source_file);
    source_file = nullptr;
    // The close flushes the last buffered lines, so its failure is a failed
    // write (a full disk). The handle is emptied first so that fatal_error
    // does not close the stream a second time.
    std::FILE* target = target_file;
    target_file = nullptr;
    if (std::fclose(target) != 0)
        fatal_error("Failed Writing\n");
}
