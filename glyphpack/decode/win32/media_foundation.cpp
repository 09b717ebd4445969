// Video through Media Foundation. The input's first bytes name its container; the media source
// for that container alone is made on a byte stream over the input (never a name or address,
// and never by trying every handler on the system, so that nothing that reads playlists or
// fetches addresses is ever handed the bytes). The Source Reader then decodes its first video
// stream, in order and without seeking, to a format whose luma is read as it lies (NV12, YV12,
// I420, YUY2, or P010 and P016 for deeper video), and each picture's grey is that luma at full
// range, cut to the part of the picture that is meant to be shown.
#include <mfapi.h>
#include <mferror.h>

#include <algorithm>
#include <array>
#include <type_traits>

#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr DWORD VIDEO = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
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

// Formats whose luma the pictures are read in, best first: planes of 8-bit luma, then luma
// interleaved with colour, then 16-bit luma (whose high byte is taken).
constexpr std::array<const GUID*, 7> READABLE{
    &MFVideoFormat_NV12, &MFVideoFormat_YV12, &MFVideoFormat_I420, &MFVideoFormat_IYUV,
    &MFVideoFormat_YUY2, &MFVideoFormat_P010, &MFVideoFormat_P016};

bool ask_readable_format(mf_decoder& video) {
  for (const GUID* subtype : READABLE) {
    com_ptr<IMFMediaType> wanted;
    if (SUCCEEDED(video.library->create_media_type(&wanted)) &&
        SUCCEEDED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) &&
        SUCCEEDED(wanted->SetGUID(MF_MT_SUBTYPE, *subtype)) &&
        SUCCEEDED(video.reader->SetCurrentMediaType(VIDEO, nullptr, wanted.Get()))) {
      return true;
    }
  }
  return false;
}

// Bytes from one pixel's luma to the next's, and where the luma byte sits in a pixel's.
int luma_step(const GUID& subtype) {
  return subtype == MFVideoFormat_YUY2 || subtype == MFVideoFormat_P010 ||
                 subtype == MFVideoFormat_P016
             ? 2
             : 1;
}
int luma_byte(const GUID& subtype) {
  return subtype == MFVideoFormat_P010 || subtype == MFVideoFormat_P016 ? 1 : 0;
}

// Reads what the decoded pictures are like, now and after the reader says they changed.
// Returns false for pictures that cannot be read.
bool read_format(mf_decoder& video) {
  mf_format& format = video.format;
  com_ptr<IMFMediaType> type;
  if (FAILED(video.reader->GetCurrentMediaType(VIDEO, &type)) ||
      FAILED(type->GetGUID(MF_MT_SUBTYPE, &format.subtype)) ||
      std::none_of(READABLE.begin(), READABLE.end(),
                   [&](const GUID* readable) { return *readable == format.subtype; }) ||
      FAILED(::MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &format.frame_width,
                                  &format.frame_height)) ||
      format.frame_width == 0 || format.frame_height == 0 ||
      !picture_allowed(*video.trouble, format.frame_width, format.frame_height)) {
    return false;
  }
  UINT32 stride = 0;
  format.default_stride = SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))
                              ? static_cast<std::int32_t>(stride)
                              : 0;
  // A decoder's buffer may be taller or wider than the picture (1088 rows for 1080, say): the
  // aperture says which part is shown.
  format.left = format.top = 0;
  format.width = format.frame_width;
  format.height = format.frame_height;
  for (const GUID& aperture : {MF_MT_MINIMUM_DISPLAY_APERTURE, MF_MT_GEOMETRIC_APERTURE}) {
    MFVideoArea area{};
    if (FAILED(type->GetBlob(aperture, reinterpret_cast<UINT8*>(&area), sizeof area, nullptr)))
      continue;
    const LONG x = area.OffsetX.value, y = area.OffsetY.value;
    if (x >= 0 && y >= 0 && area.Area.cx > 0 && area.Area.cy > 0 &&
        static_cast<std::uint64_t>(x) + static_cast<std::uint64_t>(area.Area.cx) <=
            format.frame_width &&
        static_cast<std::uint64_t>(y) + static_cast<std::uint64_t>(area.Area.cy) <=
            format.frame_height) {
      format.left = static_cast<std::uint32_t>(x);
      format.top = static_cast<std::uint32_t>(y);
      format.width = static_cast<std::uint32_t>(area.Area.cx);
      format.height = static_cast<std::uint32_t>(area.Area.cy);
    }
    break;
  }
  UINT32 across = 0, down = 0;
  format.pixel_aspect =
      SUCCEEDED(::MFGetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, &across, &down)) &&
              across > 0 && down > 0
          ? static_cast<double>(across) / down
          : 0;
  // The picture is stored turned this far anticlockwise: a clockwise turn as far shows it.
  UINT32 rotation = 0;
  format.turn.quarters = SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_ROTATION, &rotation))
                             ? static_cast<int>(rotation / 90 % 4)
                             : 0;
  // Video's luma spans 16 to 235 unless it says otherwise; black must be black either way.
  UINT32 range = 0;
  format.full_range = SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range)) &&
                      range == MFNominalRange_0_255;
  return true;
}

// Copies the shown part's luma from rows `stride` bytes apart into the picture, as grey.
void copy_luma(const mf_format& format, const BYTE* rows, std::int64_t stride,
               decoded_picture& picture) {
  unsigned char grey_of[256];
  for (int luma = 0; luma < 256; ++luma) {
    grey_of[luma] = format.full_range ? static_cast<unsigned char>(luma) : full_range_luma(luma);
  }
  const int step = luma_step(format.subtype);
  const BYTE* first = rows + luma_byte(format.subtype) + std::int64_t{format.left} * step;
  for (std::uint32_t y = 0; y < format.height; ++y) {
    const BYTE* luma = first + (std::int64_t{format.top} + y) * stride;
    unsigned char* grey = &picture.grey[std::size_t{y} * format.width];
    for (std::uint32_t x = 0; x < format.width; ++x, luma += step) grey[x] = grey_of[*luma];
  }
}

}  // namespace

picture_facts mf_picture_facts(const mf_format& format) {
  return {static_cast<int>(format.width), static_cast<int>(format.height), format.pixel_aspect,
          format.turn};
}

bool read_mf_picture(const mf_picture& decoded, decoded_picture& picture) {
  const mf_format& format = decoded.format;
  com_ptr<IMFMediaBuffer> buffer;
  if (FAILED(decoded.sample->ConvertToContiguousBuffer(&buffer))) return false;
  picture.facts = mf_picture_facts(format);
  picture.grey.resize(std::size_t{format.width} * format.height);
  picture.alpha.clear();
  // A buffer of rows knows its own pitch.
  com_ptr<IMF2DBuffer> rows;
  BYTE* first_row = nullptr;
  LONG pitch = 0;
  if (SUCCEEDED(buffer.As(&rows)) && SUCCEEDED(rows->Lock2D(&first_row, &pitch))) {
    copy_luma(format, first_row, pitch, picture);
    rows->Unlock2D();
    return true;
  }
  BYTE* bytes = nullptr;
  DWORD length = 0;
  if (FAILED(buffer->Lock(&bytes, nullptr, &length))) return false;
  const std::int64_t step = luma_step(format.subtype);
  const std::int64_t stride =
      format.default_stride > 0 ? format.default_stride : std::int64_t{format.frame_width} * step;
  // The last luma byte read must lie within the buffer.
  const std::int64_t needed = (std::int64_t{format.top} + format.height - 1) * stride +
                              (std::int64_t{format.left} + format.width) * step;
  const bool whole = needed <= std::int64_t{length};
  if (whole) copy_luma(format, bytes, stride, picture);
  buffer->Unlock();
  return whole;
}

mf_decoder::~mf_decoder() {
  reader.Reset();
  if (source) source->Shutdown();
  source.Reset();
  bytes.Reset();
  if (started) library->shutdown();
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
      FAILED(video.reader->SetStreamSelection(VIDEO, TRUE)) || !ask_readable_format(video) ||
      !read_format(video)) {
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
    const HRESULT read = video.reader->ReadSample(VIDEO, 0, nullptr, &flags, &stamp, &sample);
    if (FAILED(read) || (flags & MF_SOURCE_READERF_ERROR) != 0) {
      video.trouble->failure = FAILED(read) ? read : E_FAIL;
      return broken;
    }
    if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0 && !read_format(video))
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
