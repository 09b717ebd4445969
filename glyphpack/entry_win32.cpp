// glyphpack's entry on Windows: the arguments arrive as wide characters, the only form that
// holds every name the file system does, and are passed on as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "glyphpack/system.hpp"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), length, nullptr, nullptr);
    text.resize(text.size() - 1);
    arguments.push_back(std::move(text));
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return glyphreeler::glyphpack_main(argc, pointers.data());
}
