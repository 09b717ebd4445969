// The media contract over Windows' own decoders: the input as a COM stream, the choice between
// WIC, which is asked first (pictures and GIF animations), and Media Foundation (video), which
// is asked when no picture decoder takes the input, and each call made on the decoding thread,
// whose patience gives a source up. Both decoders hand out whole pictures (decoded_picture.hpp),
// which the portable picture stage shrinks.
#include "glyphpack/decode/win32/windows_decoder.hpp"

#include <utility>

#include "glyphpack/decode/decoded_picture.hpp"
#include "glyphpack/decode/signatures.hpp"
#include "platform/entry.hpp"
#include "platform/system_error.hpp"

namespace glyphreeler {

bool picture_allowed(decoding_trouble& trouble, std::uint64_t width, std::uint64_t height) {
  // Each side fits in 32 bits, so the product does in 64.
  if (trouble.max_pixels == 0 || width * height <= trouble.max_pixels) return true;
  trouble.problem = too_large_message(width, height, trouble.max_pixels);
  return false;
}

namespace {

// Opens the stream, at its start, with whichever decoder takes it. Returns false when neither
// does; `decoder.trouble` may then say why.
bool open_windows_decoder(media_decoder& decoder) {
  decoder.wic.trouble = decoder.mf.trouble = &decoder.trouble;
  if (open_wic_decoder(decoder.wic, *decoder.stream.stream, decoder.start)) return true;
  decoder.wic = wic_decoder{};  // WIC lets go of the stream
  decoder.wic.trouble = &decoder.trouble;
  if (!decoder.trouble.problem.empty() || !rewind_source_stream(*decoder.stream.stream)) {
    return false;
  }
  decoder.video = true;
  return open_mf_decoder(decoder.mf, *decoder.stream.stream, decoder.start);
}

// Makes the call `decoder.call` asks for; on the decoding thread.
void make_call(void* context) {
  media_decoder& decoder = *static_cast<media_decoder*>(context);
  switch (decoder.call) {
    case decoder_call::open: decoder.succeeded = open_windows_decoder(decoder); break;
    case decoder_call::next_picture:
      decoder.got = decoder.video ? next_mf_picture(decoder.mf, decoder.decoded_video, decoder.when)
                                  : next_wic_picture(decoder.wic, decoder.decoded);
      break;
    case decoder_call::read_picture:
      decoder.succeeded = read_mf_picture(
          decoder.read_held ? decoder.held_video : decoder.decoded_video, decoder.video_picture);
      break;
    case decoder_call::close:
      // Every COM object goes before the thread leaves COM.
      decoder.decoded_video = decoder.held_video = mf_picture{};
      decoder.wic = wic_decoder{};
      close_mf_decoder(decoder.mf);
      break;
  }
}

// Has the decoding thread make `call`. Returns false when it has been given up, now or before.
bool on_decoding_thread(media_decoder& decoder, decoder_call call) {
  if (decoder.given_up) return false;
  decoder.call = call;
  decoder.given_up = !run_on_decoding_thread(decoder.thread, make_call, &decoder);
  return !decoder.given_up;
}

// The message for a source given up.
std::string given_up_message() {
  const std::uint32_t patience = DECODER_PATIENCE_MS;
  return "the decoder gave nothing for " + (patience % 1000 == 0
                                                ? std::to_string(patience / 1000) + " s"
                                                : std::to_string(patience) + " ms");
}

bool short_of_memory(const media_decoder& decoder) {
  if (decoder.given_up) return false;
  const HRESULT failure = decoder.trouble.failure;
  return failure == E_OUTOFMEMORY || failure == HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace

void media_decoder_deleter::operator()(media_decoder* decoder) const {
  if (decoder->thread.thread == nullptr || (on_decoding_thread(*decoder, decoder_call::close) &&
                                            stop_decoding_thread(decoder->thread))) {
    delete decoder;
    return;
  }
  // A call left running may touch any of it yet, and is left all of it, but the source: the
  // caller frees that, so the stream lets it go first (waiting out a read under way). The
  // libraries' own ends, as the process exits, could wait on that call or trip over it.
  let_go_of_source(decoder->stream);
  end_at_once_after_main();
}

bool media_supported() { return true; }

bool starts_like_media(std::string_view start) {
  return media_signature(start) == signature_say::media;
}

std::string open_media_decoder(byte_source& source, const media_limits& limits,
                               media_decoder_ptr& decoder) {
  decoder.reset(new media_decoder);
  decoder->trouble.max_pixels = limits.max_pixels;
  if (const int error = start_decoding_thread(decoder->thread); error != 0) {
    return system_error_text(error);
  }
  // The first bytes, kept aside before the decoders read on: they name a video's container, and
  // hold a JPEG's EXIF block.
  decoder->start = source_peek(source, SOURCE_BLOCK_BYTES);
  open_source_stream(decoder->stream, source, &decoder->thread.watch);
  return on_decoding_thread(*decoder, decoder_call::open) && decoder->succeeded
             ? ""
             : decoder_failure(*decoder);
}

int decoder_next_picture(media_decoder& decoder, const picture_demand&, picture_time& when) {
  if (!on_decoding_thread(decoder, decoder_call::next_picture)) return -1;
  when = decoder.when;
  switch (decoder.got) {
    case decode_result::given:
      if (!decoder.video) when = decoder.decoded.when;
      // Media Foundation knows a video's length, not its end: the end is that far from the
      // first picture, whose time may be shifted by the container's start (a reader that does
      // not apply an MP4's edit list, as wine's, starts it a B-frame's delay late).
      if (decoder.video && decoder.pictures_given == 0 && decoder.mf.end > 0) {
        decoder.has_end = true;
        decoder.end = time_sum(when.known ? when.time : 0, decoder.mf.end);
      }
      ++decoder.pictures_given;
      return 1;
    case decode_result::ended: return 0;
    case decode_result::failed: break;
  }
  // A picture too large, or the system short of memory, ends it with its own message; damage
  // ends the source where it is, undecodable if nothing came before.
  return decoder.trouble.problem.empty() && !short_of_memory(decoder) ? 0 : -1;
}

void decoder_hold(media_decoder& decoder) {
  std::swap(decoder.held, decoder.decoded);
  std::swap(decoder.held_video, decoder.decoded_video);
}

bool decoder_picture_facts(media_decoder& decoder, bool held, picture_facts& facts) {
  if (decoder.video) {
    facts = mf_picture_facts((held ? decoder.held_video : decoder.decoded_video).format);
  } else {
    facts = (held ? decoder.held : decoder.decoded).facts;
  }
  return true;
}

const decoded_picture* decoder_whole_picture(media_decoder& decoder, bool held) {
  if (!decoder.video) return held ? &decoder.held : &decoder.decoded;
  decoder.read_held = held;
  const bool read = on_decoding_thread(decoder, decoder_call::read_picture) && decoder.succeeded;
  return read ? &decoder.video_picture : nullptr;
}

std::uint64_t decoder_pictures_read(const media_decoder& decoder) { return decoder.pictures_given; }

bool decoder_end(const media_decoder& decoder, std::int64_t& end) {
  end = decoder.end;
  return decoder.has_end;
}

std::string decoder_failure(const media_decoder& decoder) {
  if (decoder.given_up) return given_up_message();
  if (!decoder.trouble.problem.empty()) return decoder.trouble.problem;
  if (short_of_memory(decoder)) return system_error_text(ERROR_NOT_ENOUGH_MEMORY);
  return std::string(undecodable_message());
}

}  // namespace glyphreeler
