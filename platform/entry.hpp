// The programs' entry, the same on every platform. The operating system's own entry point
// (main; wmain on Windows) calls program_main with the arguments as the programs handle names:
// on Windows UTF-8, converted from the wide command line so that any name the file system holds
// survives; elsewhere the bytes the system passed.
#pragma once

namespace glyphreeler {

// Defined by each program: the whole run, given the arguments, program name first, and a null
// pointer after them. Returns the exit status.
int program_main(int argument_count, char** arguments);

// Asks that the process end at once when program_main returns, with its status but without the
// libraries' own ends (on Windows, their DLLs' detaching): for a program that has left a call
// blocked inside a library, whose ends could wait on that call for ever, or trip over it.
void end_at_once_after_main();

}  // namespace glyphreeler
