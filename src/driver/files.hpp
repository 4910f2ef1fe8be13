#pragma once

#include <cstdio>

// The two files of a run and the routine that ends a failed run: the one
// seam between the driver and the listing. A handle is null while its file
// is not open.
extern std::FILE* source_file;
extern std::FILE* target_file;

// Prints the message to standard output, closes whichever file is open and
// ends the process with status 3.
[[noreturn]] void fatal_error(const char* message);

// Closes the source, then the target; a failed close of the target is a
// failed write and ends the run through fatal_error.
void close_files();
