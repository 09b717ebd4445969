// glyphpack's entry on POSIX systems, where arguments arrive as the bytes of the file names.
#include "glyphpack/system.hpp"

int main(int argc, char** argv) { return glyphreeler::glyphpack_main(argc, argv); }
