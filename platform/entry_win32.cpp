// The entry point on Windows: wmain, so that the arguments come from the wide command line and
// no name goes through the ANSI code page, whose best-fit mapping would turn "Ω" into "O" and
// "日本" into "??". They reach the program as UTF-8. Built with -municode.
#include <string>
#include <vector>

#include "platform/entry.hpp"
#include "platform/utf16.hpp"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

extern "C" int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i) {
    texts.push_back(glyphreeler::utf8_of_utf16(reinterpret_cast<const char16_t*>(argv[i])));
  }
  std::vector<char*> arguments;
  for (std::string& text : texts) arguments.push_back(text.data());
  arguments.push_back(nullptr);
  return glyphreeler::program_main(argc, arguments.data());
}
