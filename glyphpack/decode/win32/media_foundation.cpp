// Video through Media Foundation. The input's first bytes name its container; the media source
// for that container alone is made on a byte stream over the input (never a name or address,
// and never by trying every handler on the system, so that nothing that reads playlists or
// fetches addresses is ever handed the bytes). The Source Reader then decodes its first video
// stream, in order and without seeking, in a format whose luma is read as it lies
// (media_foundation_pictures.cpp).
#include <mfapi.h>
#include <mferror.h>

#include <algorithm>
#include <array>
#include <type_traits>

#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr LONGLONG TICKS_PER_MICROSECOND = 10;  // Media Foundation counts time in 100 ns

// Containers told by their first bytes, each with the content types its media source is known
// by, in the order they are tried.
struct container {
  std::array<const wchar_t*, 2> types;
};
constexpr container MP4{{L"video/mp4", nullptr}};
constexpr container QUICKTIME{{L"video/quicktime", L"video/mp4"}};
constexpr container WEBM{{L"video/webm", L"video/x-matroska"}};
constexpr container MATROSKA{{L"video/x-matroska", L"video/webm"}};
constexpr container AVI{{L"video/avi", L"video/x-msvideo"}};
constexpr container ASF{{L"video/x-ms-asf", L"video/x-ms-wmv"}};
constexpr container MPEG_TRANSPORT{{L"video/mp2t", nullptr}};
constexpr container MPEG_PROGRAM{{L"video/mpeg", nullptr}};

constexpr std::size_t TRANSPORT_PACKET_BYTES = 188;
constexpr std::string_view EBML_MAGIC{"\x1A\x45\xDF\xA3", 4};
constexpr std::string_view ASF_HEADER{
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16};
constexpr std::string_view PACK_START{"\x00\x00\x01\xBA", 4};
constexpr std::size_t EBML_HEADER_BYTES = 64;  // where a Matroska file names its kind

// The container the input's first bytes show, or null for none that is read as video.
const container* container_of(std::string_view start) {
  const std::string_view box = start.substr(std::min<std::size_t>(4, start.size()), 4);
  if (box == "ftyp") return start.substr(8, 4) == "qt  " ? &QUICKTIME : &MP4;
  if (box == "moov" || box == "mdat" || box == "wide" || box == "free" || box == "skip") {
    return &QUICKTIME;
  }
  if (start.substr(0, 4) == EBML_MAGIC) {
    return start.substr(0, EBML_HEADER_BYTES).find("webm") != std::string_view::npos ? &WEBM
                                                                                     : &MATROSKA;
  }
  if (start.substr(0, 4) == "RIFF" && start.substr(8, 4) == "AVI ") return &AVI;
  if (start.substr(0, ASF_HEADER.size()) == ASF_HEADER) return &ASF;
  if (start.size() > 2 * TRANSPORT_PACKET_BYTES && start[0] == 'G' &&
      start[TRANSPORT_PACKET_BYTES] == 'G' && start[2 * TRANSPORT_PACKET_BYTES] == 'G') {
    return &MPEG_TRANSPORT;
  }
  if (start.substr(0, 4) == PACK_START) return &MPEG_PROGRAM;
  return nullptr;
}

// Loads Media Foundation's functions. Returns false where the system has not all of them.
bool load_library(mf_library& library) {
  const HMODULE platform = ::LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const HMODULE reading =
      ::LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (platform == nullptr || reading == nullptr) return false;
  const auto find = [](HMODULE module, const char* name, auto& function) {
    // Through a pointer to a function of no arguments, which any function pointer may be cast
    // to and from.
    using plain = void (*)();
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
        reinterpret_cast<plain>(::GetProcAddress(module, name)));
    return function != nullptr;
  };
  return find(platform, "MFStartup", library.startup) &&
         find(platform, "MFShutdown", library.shutdown) &&
         find(platform, "MFCreateMFByteStreamOnStream", library.byte_stream_on) &&
         find(platform, "MFCreateSourceResolver", library.create_resolver) &&
         find(platform, "MFCreateAttributes", library.create_attributes) &&
         find(platform, "MFCreateMediaType", library.create_media_type) &&
         find(reading, "MFCreateSourceReaderFromMediaSource", library.create_reader);
}

// Media Foundation, loaded once, or null where the system lacks it. It is never unloaded: its
// DLLs run threads of their own, which may still be winding down after MFShutdown returns, and
// must not find their code gone.
const mf_library* media_foundation() {
  static mf_library library;
  static const bool loaded = load_library(library);
  return loaded ? &library : nullptr;
}

// The media source of `type` on the byte stream, from its start. Returns false when the
// system has none for that type, or it cannot make sense of the bytes.
bool make_source(mf_decoder& video, const wchar_t* type) {
  com_ptr<IMFAttributes> described;
  com_ptr<IMFSourceResolver> resolver;
  com_ptr<IUnknown> made;
  MF_OBJECT_TYPE made_type = MF_OBJECT_INVALID;
  return SUCCEEDED(video.bytes->SetCurrentPosition(0)) && SUCCEEDED(video.bytes.As(&described)) &&
         SUCCEEDED(described->SetString(MF_BYTESTREAM_CONTENT_TYPE, type)) &&
         SUCCEEDED(video.library->create_resolver(&resolver)) &&
         // Without MF_RESOLUTION_CONTENT_DOES_NOT_HAVE_TO_MATCH_EXTENSION_OR_MIME_TYPE: only
         // the handler of this type is asked.
         SUCCEEDED(resolver->CreateObjectFromByteStream(
             video.bytes.Get(), nullptr, MF_RESOLUTION_MEDIASOURCE | MF_RESOLUTION_READ, nullptr,
             &made_type, &made)) &&
         SUCCEEDED(made.As(&video.source));
}

}  // namespace

mf_decoder::~mf_decoder() { close_mf_decoder(*this); }

void close_mf_decoder(mf_decoder& video) {
  video.reader.Reset();
  if (video.source) video.source->Shutdown();
  video.source.Reset();
  video.bytes.Reset();
  if (video.started) video.library->shutdown();
  video.started = false;
}

bool open_mf_decoder(mf_decoder& video, IStream& stream, std::string_view start) {
  const container* kind = container_of(start);
  if (kind == nullptr) return false;
  // Without sockets: nothing here reads from a network.
  video.library = media_foundation();
  if (video.library == nullptr || FAILED(video.library->startup(MF_VERSION, MFSTARTUP_LITE))) {
    return false;
  }
  video.started = true;
  if (FAILED(video.library->byte_stream_on(&stream, &video.bytes))) return false;
  bool made = false;
  for (const wchar_t* type : kind->types)
    made = made || (type != nullptr && make_source(video, type));
  com_ptr<IMFAttributes> settings;
  if (!made || FAILED(video.library->create_attributes(&settings, 1)) ||
      FAILED(video.library->create_reader(video.source.Get(), settings.Get(), &video.reader)) ||
      FAILED(video.reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS),
                                              FALSE)) ||
      FAILED(video.reader->SetStreamSelection(MF_VIDEO_STREAM, TRUE)) ||
      !mf_ask_readable_format(video) || !mf_read_format(video)) {
    return false;
  }
  PROPVARIANT duration;
  ::PropVariantInit(&duration);
  if (SUCCEEDED(video.reader->GetPresentationAttribute(
          static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION, &duration)) &&
      duration.vt == VT_UI8 && duration.uhVal.QuadPart > 0) {
    video.end = static_cast<std::int64_t>(duration.uhVal.QuadPart / TICKS_PER_MICROSECOND);
  }
  ::PropVariantClear(&duration);
  return true;
}

decode_result next_mf_picture(mf_decoder& video, mf_picture& picture, picture_time& when) {
  // A failure after some pictures ends the video there, as a damaged or cut-short file does.
  const decode_result broken = video.pictures == 0 ? decode_result::failed : decode_result::ended;
  for (;;) {
    DWORD flags = 0;
    LONGLONG stamp = 0;
    com_ptr<IMFSample> sample;
    const HRESULT read =
        video.reader->ReadSample(MF_VIDEO_STREAM, 0, nullptr, &flags, &stamp, &sample);
    if (FAILED(read) || (flags & MF_SOURCE_READERF_ERROR) != 0) {
      video.trouble->failure = FAILED(read) ? read : E_FAIL;
      return broken;
    }
    if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0 && !mf_read_format(video))
      return broken;
    // The end, which is a failure where it comes before any picture.
    if ((flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) return broken;
    if (!sample) continue;  // a gap in the stream, with no picture
    LONGLONG time = 0, duration = 0;
    when.known = SUCCEEDED(sample->GetSampleTime(&time));
    when.time = time / TICKS_PER_MICROSECOND;
    when.duration = SUCCEEDED(sample->GetSampleDuration(&duration)) && duration > 0
                        ? duration / TICKS_PER_MICROSECOND
                        : 0;
    picture.sample = sample;
    picture.format = video.format;
    ++video.pictures;
    return decode_result::given;
  }
}

}  // namespace glyphreeler
