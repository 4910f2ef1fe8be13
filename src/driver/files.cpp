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
