#pragma once

#include <cstdint>

enum class dialect : unsigned char { c, assembler };

// Lists the whole source file into the target file and returns the number
// of source bytes listed. Every failure ends the process through fatal_error.
std::uint64_t convert_records(dialect form);
