// bench/player's floor for the Windows build: one frame's console writes as glyphreeler makes them
// (a one-byte write per cell, a CR LF write per row) on a blanked screen, with nothing else
// around them. Each round's time in milliseconds goes on a line of floor.txt, in the current
// folder. Usage: wine_floor.exe <rounds>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int FRAME_ROWS = 32;
constexpr int FRAME_COLUMNS = 32;
constexpr DWORD SETTLE_MS = 100;  // lets the console finish drawing the blanked screen

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc == 2 ? std::atoi(argv[1]) : 0;
  if (rounds < 1) {
    std::fputs("Usage: wine_floor.exe <rounds>\n", stderr);
    return 1;
  }
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::FILE* result = std::fopen("floor.txt", "w");
  if (result == nullptr) return 1;
  for (int round = 0; round < rounds; ++round) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    const DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y);
    DWORD done;
    FillConsoleOutputCharacterA(screen, ' ', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(screen, info.wAttributes, cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(screen, COORD{0, 0});
    Sleep(SETTLE_MS);
    QueryPerformanceCounter(&start);
    for (int row = 0; row < FRAME_ROWS; ++row) {
      for (int column = 0; column < FRAME_COLUMNS; ++column) WriteFile(out, "x", 1, &done, nullptr);
      WriteFile(out, "\r\n", 2, &done, nullptr);
    }
    QueryPerformanceCounter(&end);
    std::fprintf(result, "%.3f\n",
                 double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
  }
  return std::fclose(result) == 0 ? 0 : 1;
}
