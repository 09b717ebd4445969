// JPEG pictures read with libjpeg: straight from the byte source a block at a time, and decoded
// to grey at the smallest scale a frame allows (down to an eighth of each side), so that their
// cost follows the frame and not the file. A stream of JPEG pictures, as `ffmpeg -f mjpeg`
// writes one or `cat` joins them, is read picture after picture: what lies between them is
// passed over, and so is a picture that cannot be decoded, as damage in a video is.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "glyphpack/decode/media.hpp"
#include "glyphpack/input/byte_source.hpp"

namespace glyphreeler {

struct jpeg_reader;  // libjpeg's state, and how far it has read
struct jpeg_reader_deleter {
  void operator()(jpeg_reader* reader) const;
};
using jpeg_reader_ptr = std::unique_ptr<jpeg_reader, jpeg_reader_deleter>;

// A picture as it will be decoded.
struct jpeg_header {
  int width = 0;  // pixels, at the reduced scale
  int height = 0;
  int aspect_across = 0;  // a pixel's shape, across to down, as its JFIF header gives it;
  int aspect_down = 0;    // 0 where it gives none
  int orientation = 0;    // its EXIF orientation, 1 to 8, or 0 where it has none
};

enum class jpeg_opening {
  opened,     // the first picture's header is read
  elsewhere,  // not a JPEG this reader makes grey (12-bit, lossless, a damaged header), for
              // another decoder to read from its start
  failed,     // the picture is too large, or (from a pipe) cannot be read again from its
              // start: `problem` says so
};

// Opens a reader on the JPEG picture at the source's position, which reads its header. Where
// the picture goes elsewhere, the source stands at its start again; or, read through a pipe
// with a header larger than the bytes a source holds, just past `taken`, the bytes taken from
// it since the picture's start.
jpeg_opening open_jpeg_reader(byte_source& source, const media_limits& limits,
                              jpeg_reader_ptr& reader, std::string& problem, std::string& taken);

// The header of the next picture: the first one's, then that of each picture following it in
// the source that this reader makes grey. Returns false when no picture follows.
bool jpeg_next_header(jpeg_reader& reader, jpeg_header& header);

// Decodes the picture whose header was just read into its rows, `stride` bytes apart, as grey
// from 0 black to 255 white. A picture cut short is decoded as far as its data goes, and left
// black beyond. Returns false when it cannot be decoded; the picture after it may still be.
bool jpeg_read_picture(jpeg_reader& reader, unsigned char* rows, std::ptrdiff_t stride);

// True after a failure for want of memory, which is the system's and not the source's.
bool jpeg_short_of_memory(const jpeg_reader& reader);

}  // namespace glyphreeler
