// The Windows back end's state, and what its two decoders share: pictures and animations through
// the Windows Imaging Component (wic.cpp), video through Media Foundation's Source Reader
// (media_foundation.cpp). Each reads the input through a COM stream over the byte source, never
// a name, and hands out decoded pictures. Every call into either is made on the decoding thread
// (decoding_thread.hpp), so that one that never returns can be left behind.
//
// The program imports no DLL of either: WIC is reached through COM alone, and Media Foundation
// is loaded when a video is to be read, from the system's folder only. So glyphpack.exe starts
// on a Windows without Media Foundation (the N editions), and no DLL of those names beside it,
// where a program's own folder is searched first, is ever loaded in their place.
#pragma once

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/media.hpp"
#include "glyphpack/decode/win32/decoding_thread.hpp"
#include "glyphpack/decode/win32/source_stream.hpp"
#include "glyphpack/input/byte_source.hpp"

// In mfplat since Windows 7, but not declared by every SDK's mfapi.h.
extern "C" HRESULT WINAPI MFCreateMFByteStreamOnStream(IStream* stream,
                                                       IMFByteStream** byte_stream);

namespace glyphreeler {

template <typename Interface>
using com_ptr = Microsoft::WRL::ComPtr<Interface>;

// What stops a source: a picture larger than `max_pixels` (`problem` says so), or a decoder's
// failure (`failure`, its HRESULT, which may be the system's shortage of memory).
struct decoding_trouble {
  std::uint64_t max_pixels = 0;  // 0: no bound
  std::string problem;
  HRESULT failure = S_OK;
};

// Whether a picture of `width` x `height` may be decoded; if not, `trouble` says why.
bool picture_allowed(decoding_trouble& trouble, std::uint64_t width, std::uint64_t height);

// A result of the decoders' "next picture": one was given, the source has no more, or it
// could not be decoded.
enum class decode_result { given, ended, failed };

// Pictures through WIC: a still picture gives one, a GIF every frame of its animation, each
// composed on the animation's screen as its disposal leaves it.
struct wic_decoder {
  com_ptr<IWICImagingFactory> factory;
  com_ptr<IWICBitmapDecoder> decoder;
  decoding_trouble* trouble = nullptr;
  picture_turn fallback_turn;  // from the picture's own EXIF bytes, where WIC finds none
  unsigned frames = 0;         // frames in the container
  unsigned next_frame = 0;     // the next to decode
  bool animation = false;      // a GIF: each frame is drawn on the screen, over the last
  int screen_width = 0;        // the animation's logical screen
  int screen_height = 0;
  std::vector<unsigned char> screen_grey;  // the screen as the last frame left it
  std::vector<unsigned char> screen_alpha;
  std::vector<unsigned char> saved_grey;  // what a "restore previous" frame covered
  std::vector<unsigned char> saved_alpha;
  unsigned char background_grey = 0;  // the GIF's background colour, where it has one
  bool has_background = false;
  int last_disposal = 0;  // the last frame's disposal and place
  int last_left = 0, last_top = 0, last_width = 0, last_height = 0;
  bool last_transparent = false;
  std::int64_t next_time = 0;       // microseconds: when the next frame shows
  std::vector<unsigned char> band;  // rows of a frame in 32-bit BGRA, a few at a time
};

// Opens `stream` (at its start) as a picture. Returns false when no WIC decoder on the system
// recognises it. `start` is the input's first bytes, for a picture's EXIF orientation.
bool open_wic_decoder(wic_decoder& wic, IStream& stream, std::string_view start);
decode_result next_wic_picture(wic_decoder& wic, decoded_picture& picture);

// What the still pictures (wic.cpp) and the animations (wic_animation.cpp) share: a number from
// a metadata query, or `otherwise` where the query finds none; whether WIC's call succeeded (if
// not, its failure is kept); a frame as 32-bit BGRA with straight alpha, converted as its pixels
// are copied out; the grey and alpha of `rect` of a BGRA source copied into planes `stride`
// pixels wide at (`to_x`, `to_y`), a band of rows at a time, only the pixels with some opacity
// where drawn `over` what is there (false when WIC cannot give the pixels); and an alpha plane
// that is opaque throughout dropped.
unsigned metadata_number(IWICMetadataQueryReader* query, const wchar_t* name, unsigned otherwise);
bool wic_succeeded(wic_decoder& wic, HRESULT result);
bool as_bgra(wic_decoder& wic, IWICBitmapFrameDecode& frame, com_ptr<IWICBitmapSource>& bgra);
bool copy_grey(wic_decoder& wic, IWICBitmapSource& source, const WICRect& rect, int to_x, int to_y,
               int stride, unsigned char* grey, unsigned char* alpha, bool over);
void drop_opaque_alpha(decoded_picture& picture);

// A GIF's logical screen and background colour (false for a screen too large), and its next
// frame as drawn on that screen.
bool open_animation(wic_decoder& wic);
decode_result animation_frame(wic_decoder& wic, decoded_picture& picture);

// Media Foundation's functions, from mfplat.dll and mfreadwrite.dll in the system's folder.
struct mf_library {
  decltype(&::MFStartup) startup = nullptr;
  decltype(&::MFShutdown) shutdown = nullptr;
  decltype(&::MFCreateMFByteStreamOnStream) byte_stream_on = nullptr;
  decltype(&::MFCreateSourceResolver) create_resolver = nullptr;
  decltype(&::MFCreateAttributes) create_attributes = nullptr;
  decltype(&::MFCreateMediaType) create_media_type = nullptr;
  decltype(&::MFCreateSourceReaderFromMediaSource) create_reader = nullptr;
};

// How Media Foundation's decoded pictures lie in their buffers, as the reader last said.
struct mf_format {
  GUID subtype{};                 // NV12, YV12, I420, IYUV, YUY2, P010 or P016
  std::uint32_t frame_width = 0;  // the decoded buffer's size, in pixels
  std::uint32_t frame_height = 0;
  std::int32_t default_stride = 0;  // bytes from a row to the next where the buffer says not
  std::uint32_t left = 0, top = 0;  // the part of the buffer that is shown
  std::uint32_t width = 0, height = 0;
  bool full_range = false;  // luma from 0 to 255 rather than 16 to 235
  double pixel_aspect = 0;
  picture_turn turn;
};

// A decoded picture as Media Foundation gives it, read into a decoded_picture only if it
// becomes a frame.
struct mf_picture {
  com_ptr<IMFSample> sample;
  mf_format format;  // the format when it was decoded
};

// Video through Media Foundation: the first video stream of a container that the input's first
// bytes name, decoded to a format whose luma can be read as it is.
struct mf_decoder {
  const mf_library* library = nullptr;  // loaded at the first video, kept to the end of the run
  bool started = false;                 // MFStartup succeeded: MFShutdown is owed
  com_ptr<IMFByteStream> bytes;
  com_ptr<IMFMediaSource> source;
  com_ptr<IMFSourceReader> reader;
  decoding_trouble* trouble = nullptr;
  mf_format format;
  std::int64_t end = -1;       // the source's length in microseconds, -1 unknown
  std::uint64_t pictures = 0;  // pictures given so far
  ~mf_decoder();
};

// Lets the reader, the source and Media Foundation go. Idempotent.
void close_mf_decoder(mf_decoder& video);

// The video stream the Source Reader reads.
inline constexpr DWORD MF_VIDEO_STREAM = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

// Asks the reader for pictures in a format whose luma is read as it lies (false where it gives
// none), and reads what the decoded pictures are like, now and after the reader says they
// changed (false for pictures that cannot be read).
bool mf_ask_readable_format(mf_decoder& video);
bool mf_read_format(mf_decoder& video);

// Opens `stream` (at its start) as video. Returns false when the first bytes name no container
// it reads, or Media Foundation cannot open it or has no decoder for its first video stream.
bool open_mf_decoder(mf_decoder& video, IStream& stream, std::string_view start);
// Decodes the next picture, and says when it shows.
decode_result next_mf_picture(mf_decoder& video, mf_picture& picture, picture_time& when);
// What a picture of this format is like.
picture_facts mf_picture_facts(const mf_format& format);
// The grey of a picture next_mf_picture gave. Returns false for a buffer that does not hold the
// picture its format describes.
bool read_mf_picture(const mf_picture& picture, decoded_picture& grey);

// What the decoding thread is asked to do for the media contract.
enum class decoder_call { open, next_picture, read_picture, close };

// The input as Windows decodes it: a picture or animation through WIC, or else a video through
// Media Foundation. Once a call is given up, the decoding thread may still be using any of it,
// so none of it is read or freed again but `given_up`.
struct media_decoder {
  decoding_thread thread;                    // where WIC and Media Foundation are called
  bool given_up = false;                     // a call showed no sign of life for the patience
  decoder_call call = decoder_call::open;    // the call the thread makes next, and what it gave:
  bool succeeded = false;                    // open, read_picture: it did
  bool read_held = false;                    // read_picture: the held picture, not the one given
  decode_result got = decode_result::ended;  // next_picture
  picture_time when;                         // next_picture: when its picture shows
  std::string start;                         // the input's first bytes, for the open
  decoding_trouble trouble;
  source_stream_handle stream;  // after the thread, so that it lets the source go first
  bool video = false;           // Media Foundation reads it, not WIC
  wic_decoder wic;
  mf_decoder mf;
  decoded_picture decoded;        // WIC's picture just decoded
  decoded_picture held;           // the picture showing, until a later one replaces it
  mf_picture decoded_video;       // the same from Media Foundation, whose pictures
  mf_picture held_video;          // are read only when they become frames,
  decoded_picture video_picture;  // into this
  std::uint64_t pictures_given = 0;
  bool has_end = false;  // the source's end is known:
  std::int64_t end = 0;  // there, in microseconds
};

}  // namespace glyphreeler
