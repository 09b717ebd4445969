// Frames gathered into blocks on their way to the frame file.
#include "glyphpack/output/frame_file.hpp"

#include <cstring>

#include "platform/standard_streams.hpp"

namespace glyphreeler {

int frame_file_flush(frame_file& file) {
  const int error = file.used == 0 ? 0 : write_all_to(file.handle, file.block, file.used);
  file.used = 0;
  return error;
}

int frame_file_put(frame_file& file, const frame_cells& frame) {
  if (file.used + frame.size() > sizeof file.block) {
    if (const int error = frame_file_flush(file); error != 0) return error;
  }
  std::memcpy(file.block + file.used, frame.data(), frame.size());
  file.used += frame.size();
  return 0;
}

}  // namespace glyphreeler
