// The program's run: sets up the terminal, runs the player, and releases the terminal again.
#include "platform/entry.hpp"
#include "player/player.hpp"
#include "player/terminal/console.hpp"

int glyphreeler::program_main(int argument_count, char** arguments) {
  console_start();
  const int status = play(argument_count, arguments);
  return console_finish(status);
}
