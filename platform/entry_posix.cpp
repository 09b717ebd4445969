// The entry point on POSIX systems: the arguments are bytes, and file names are the same bytes.
#include "platform/entry.hpp"

int main(int argc, char** argv) { return glyphreeler::program_main(argc, argv); }
