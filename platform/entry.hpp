// The programs' entry, the same on every platform. The operating system's own entry point
// (main; wmain on Windows) calls program_main with the arguments as the programs handle names:
// on Windows UTF-8, converted from the wide command line so that any name the file system holds
// survives; elsewhere the bytes the system passed.
#pragma once

namespace glyphreeler {

// Defined by each program: the whole run, given the arguments, program name first, and a null
// pointer after them. Returns the exit status.
int program_main(int argument_count, char** arguments);

}  // namespace glyphreeler
