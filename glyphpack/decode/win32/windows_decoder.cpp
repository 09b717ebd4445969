// Pictures, animations and video through Windows' own decoders: COM for the thread, the input as
// a COM stream, and the choice between WIC, which is asked first (pictures and GIF animations),
// and Media Foundation (video), which is asked when no picture decoder takes the input. Which
// pictures become frames is the portable sampling's to say (sampling.hpp), and each becomes one
// through the portable code (decoded_picture.hpp), as another decoder's pictures do.
#include "glyphpack/decode/win32/windows_decoder.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "glyphpack/decode/media.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {

com_apartment::com_apartment() {
  // Multithreaded, as Media Foundation calls back on threads of its own. S_FALSE: COM was on
  // already, and still owes one CoUninitialize.
  joined = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

com_apartment::~com_apartment() {
  if (joined) ::CoUninitialize();
}

bool picture_allowed(decoding_trouble& trouble, std::uint64_t width, std::uint64_t height) {
  // Each side fits in 32 bits, so the product does in 64.
  if (trouble.max_pixels == 0 || width * height <= trouble.max_pixels) return true;
  trouble.problem = too_large_message(width, height, trouble.max_pixels);
  return false;
}

bool open_windows_media(windows_media& media, byte_source& source) {
  // The first bytes, kept aside before the decoders read on: they name a video's container, and
  // hold a JPEG's EXIF block.
  const std::string start(source_peek(source, SOURCE_BLOCK_BYTES));
  open_source_stream(media.stream, source);
  media.pictures.trouble = media.videos.trouble = &media.trouble;
  if (open_wic_pictures(media.pictures, *media.stream.stream, start)) return true;
  media.pictures = wic_pictures{};  // WIC lets go of the stream
  media.pictures.trouble = &media.trouble;
  if (!media.trouble.problem.empty() || !rewind_source_stream(*media.stream.stream)) return false;
  media.video = true;
  return open_mf_video(media.videos, *media.stream.stream, start);
}

struct media_decoder {
  windows_media windows;
  media_limits limits;                       // as the reader was given them
  const picture_options* options = nullptr;  // as the frames are asked for
  media_progress* progress = nullptr;        // the reader's
  sampling sampled;                          // which pictures become frames
  decoded_picture decoded;                   // WIC's picture just decoded
  decoded_picture held;                      // the picture showing, until a later one replaces it
  mf_picture decoded_video;                  // the same from Media Foundation, whose pictures
  mf_picture held_video;                     // are read only when they become frames,
  decoded_picture video_picture;             // into this
  framing framed;                            // samples, and the glyphs of the last frame
};

void media_decoder_deleter::operator()(media_decoder* decoder) const { delete decoder; }

namespace {

// The decoders as the sampling drives them.
struct windows_pictures {
  media_decoder& media;

  int next_picture(picture_time& when) {
    const decode_result got = media.windows.video
                                  ? next_mf_picture(media.windows.videos, media.decoded_video, when)
                                  : next_wic_picture(media.windows.pictures, media.decoded);
    switch (got) {
      case decode_result::given:
        if (!media.windows.video) when = media.decoded.when;
        // Media Foundation knows a video's length, not its end: the end is that far from the
        // first picture, whose time may be shifted by the container's start (a reader that
        // does not apply an MP4's edit list, as wine's, starts it a B-frame's delay late).
        if (media.windows.video && media.progress->pictures == 0 && media.windows.videos.end > 0) {
          media.sampled.line.has_end = true;
          media.sampled.line.end = time_sum(when.known ? when.time : 0, media.windows.videos.end);
        }
        ++media.progress->pictures;
        return 1;
      case decode_result::ended: return 0;
      case decode_result::failed: break;
    }
    // A picture too large, or the system short of memory, ends it with its own message; damage
    // ends the source where it is, undecodable if nothing came before.
    return media.windows.trouble.problem.empty() && !short_of_memory() ? 0 : -1;
  }
  bool make_frame(bool held, frame_cells& frame) {
    const decoded_picture* picture = held ? &media.held : &media.decoded;
    if (media.windows.video) {
      if (!read_mf_picture(held ? media.held_video : media.decoded_video, media.video_picture)) {
        media.windows.trouble.problem = "a picture cannot be converted";
        return false;
      }
      picture = &media.video_picture;
    }
    frame_of_picture(*picture, *media.options, media.framed, frame);
    return true;
  }
  void hold_new() {
    std::swap(media.held, media.decoded);
    std::swap(media.held_video, media.decoded_video);
  }
  std::string failure() const {
    if (!media.windows.trouble.problem.empty()) return media.windows.trouble.problem;
    if (short_of_memory()) return system_error_text(ERROR_NOT_ENOUGH_MEMORY);
    return std::string(undecodable_message());
  }
  bool short_of_memory() const {
    const HRESULT failure = media.windows.trouble.failure;
    return failure == E_OUTOFMEMORY || failure == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
  }
};

// First bytes that no text art starts with, of formats these decoders read. The others hold a
// NUL byte early, which tells them from text already.
constexpr std::array<std::string_view, 5> SIGNATURES{
    std::string_view("\x89PNG\r\n\x1A\n", 8), "GIF87a", "GIF89a", "\xFF\xD8\xFF",
    std::string_view("\x1A\x45\xDF\xA3", 4)};  // the last: Matroska and WebM

}  // namespace

bool media_supported() { return true; }

bool starts_like_media(std::string_view start) {
  const auto starts_with = [&](std::string_view signature) {
    return start.substr(0, signature.size()) == signature;
  };
  // RIFF containers name their kind after their size: WebP pictures, AVI video.
  return std::any_of(SIGNATURES.begin(), SIGNATURES.end(), starts_with) ||
         (starts_with("RIFF") && (start.substr(8, 4) == "WEBP" || start.substr(8, 4) == "AVI ")) ||
         start.substr(std::min<std::size_t>(4, start.size()), 4) == "ftyp";
}

std::string_view undecodable_message() {
  return "not text art, a PGM image, or a picture or video that can be decoded";
}

int next_media_frame(byte_source& source, media_reader& reader, const picture_options& options,
                     frame_cells& frame, pack_error& error) {
  return next_decoded_frame<media_decoder, windows_pictures>(
      reader, options, frame, error, [&](media_decoder& media) {
        media.windows.trouble.max_pixels = reader.limits.max_pixels;
        return open_windows_media(media.windows, source);
      });
}

}  // namespace glyphreeler
