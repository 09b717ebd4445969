// What the files of the FFmpeg back end share: the decoder's state (the container through
// libavformat, the main video stream's decoder through libavcodec, or a JPEG's pictures through
// libjpeg; the picture just decoded and the one held) and each file's calls. Each file holds one
// job and only calls into FFmpeg; the rules that need no library are portable (worth_decoding.hpp,
// the sampling, the picture stage).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <new>
#include <string>

#include "glyphpack/decode/jpeg/jpeg_reader.hpp"
#include "glyphpack/decode/media.hpp"
#include "glyphpack/decode/packet_times.hpp"
#include "glyphpack/decode/worth_decoding.hpp"

namespace glyphreeler {

struct media_decoder {
  byte_source* source = nullptr;
  AVIOContext* io = nullptr;          // reads `source`
  AVFormatContext* format = nullptr;  // the container
  AVCodecContext* codec = nullptr;    // the video stream's decoder
  AVPacket* packet = nullptr;
  AVFrame* decoded = nullptr;       // the picture just decoded
  AVFrame* held = nullptr;          // the picture showing, until a later one replaces it
  int stream = -1;                  // the video stream's index
  AVRational time_base{0, 1};       // the stream's
  std::int64_t picture_period = 0;  // a picture's nominal duration, 0 when unknown
  recent_times recent;              // presentation times of the latest packets
  packet_clock clock;               // where the packets' times have led
  std::int64_t start = 0;           // the stream's start, in microseconds: 0 where unknown
  std::int64_t reorder_delay = 0;   // taken off every picture's time (see timing)
  int orientation = 0;              // the source's EXIF orientation, 0 where it has none
  picture_turn turn;                // the stream's or the EXIF one, for pictures without their own
  media_limits limits;              // as the decoder was opened with
  bool has_end = false;             // the container knows for sure where the source ends:
  std::int64_t end = 0;             // there, in microseconds
  std::uint64_t packets_read = 0;   // the video stream's, for progress
  std::uint64_t pictures_given = 0;
  bool input_ended = false;     // every packet has been read: the decoder is draining
  int error = 0;                // why the source failed (an AVERROR code), or 0
  std::string problem;          // or what is wrong with it, where that says more
  jpeg_reader_ptr jpeg;         // a JPEG's pictures, where libjpeg reads them instead of FFmpeg
  std::int64_t jpeg_start = 0;  // where the first of them starts in the source
  std::string taken;            // where it does not: what it took from a pipe, read before the rest
  std::size_t taken_read = 0;   // how much of `taken` has been read
  ~media_decoder();
};

inline constexpr AVRational MICROSECONDS{1, AV_TIME_BASE};  // AV_TIME_BASE_Q, which is C only

inline std::int64_t microseconds(std::int64_t time, AVRational base) {
  return av_rescale_q(time, base, MICROSECONDS);
}

// FFmpeg's allocators return null when memory runs out; glyphpack ends with a message then.
inline void check_allocated(const void* pointer) {
  if (pointer == nullptr) throw std::bad_alloc();
}

// True when `bytes` of memory can be had: some of FFmpeg's failures say ENOMEM that are none.
inline bool memory_at_hand(std::uint64_t bytes) {
  void* room = av_malloc(static_cast<std::size_t>(bytes));
  av_free(room);
  return room != nullptr;
}

// io.cpp: an I/O context that reads the media's source from where it stands, after any bytes
// `taken` from it, and moves about in it where it is a file.
AVIOContext* source_io(media_decoder& media);

// open.cpp: opens the source: a JPEG's pictures with libjpeg, or else the container and the
// decoder of its main video stream. Returns 0, or an AVERROR code (AVERROR_INVALIDDATA where the
// source is sound but not for us) with `media.problem` set where it says more.
int open_source(media_decoder& media);

// open.cpp: opens the container at the source's position, and the decoder of its main video
// stream. Returns as open_source does.
int open_container(media_decoder& media);

// open.cpp: keeps a container to the input it is given: any other file or address it names
// (a playlist's, a list's) is refused.
void confine_to_input(AVFormatContext& container);

// library_log.cpp: the libraries' log is read, never shown (the program speaks for itself, one
// line per failure). Returns the size of the last picture a decoder refused for its pixels, as
// width << 32 | height, or 0.
void start_reading_library_log();
std::uint64_t refused_picture_size();

// turn.cpp: the turn that shows a picture as meant, from a display matrix of `size` bytes.
picture_turn turn_of_matrix(const std::uint8_t* bytes, std::size_t size);

// packets.cpp: decodes until a picture is in `media.decoded`, passing over those `demand`
// provably does not want. Returns 1, 0 when the source has no more, or -1 when decoding cannot
// go on (`media.error` says why).
int decode_picture(media_decoder& media, const picture_demand& demand);

// jpeg_pictures.cpp: opens a JPEG's pictures with libjpeg. Returns 1, 0 when the source is not
// a JPEG libjpeg makes grey (which is then read from where it stood, `media.taken` first), or an
// AVERROR code with `media.problem` set.
int open_jpeg_pictures(media_decoder& media);

// jpeg_pictures.cpp: decodes the next JPEG picture into `media.decoded`. Returns as
// decode_picture does. Where the first picture cannot be decoded but the source can be read
// again from its start, the container is opened there instead (`media.jpeg` let go), for
// FFmpeg's decoder to try.
int decode_jpeg_picture(media_decoder& media);

// packets.cpp: the time of the picture in `media.decoded`, and how long it shows.
picture_time timing(media_decoder& media);

}  // namespace glyphreeler
