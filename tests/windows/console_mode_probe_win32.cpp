// Test helper for the Windows console: prints the console's input mode as "input mode <n>",
// so that a test can compare the mode before and after another program shared the console.
#include <windows.h>

#include <cstdio>

int main() {
  const HANDLE console =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
    std::puts("no console");
    return 1;
  }
  std::printf("input mode %lu\n", static_cast<unsigned long>(mode));
  return 0;
}
