// Program entry: sets up the terminal, runs the player, and releases the terminal again.
#include "player/player.hpp"
#include "runtime/console.hpp"

int main(int argc, char** argv) {
  glyphreeler::console_start();
  const int status = glyphreeler::play(argc, argv);
  return glyphreeler::console_finish(status);
}
