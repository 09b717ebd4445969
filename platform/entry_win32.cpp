// The entry point on Windows: wmain, so that the arguments come from the wide command line and
// no name goes through the ANSI code page, whose best-fit mapping would turn "Ω" into "O" and
// "日本" into "??". They reach the program as UTF-8. Built with -municode. A program that has
// left a call blocked in a library ends by TerminateProcess.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/entry.hpp"
#include "platform/utf16.hpp"

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

std::atomic<bool> at_once{false};  // end_at_once_after_main was called

}  // namespace

void glyphreeler::end_at_once_after_main() { at_once = true; }

extern "C" int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i) {
    texts.push_back(glyphreeler::utf8_of_utf16(reinterpret_cast<const char16_t*>(argv[i])));
  }
  std::vector<char*> arguments;
  for (std::string& text : texts) arguments.push_back(text.data());
  arguments.push_back(nullptr);
  const int status = glyphreeler::program_main(argc, arguments.data());
  // TerminateProcess, unlike ExitProcess, calls no DLL's detaching.
  if (at_once) ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
  return status;
}
