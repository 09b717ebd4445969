// Media Foundation's decoded pictures: the formats their luma is read in (NV12, YV12, I420,
// YUY2, or P010 and P016 for deeper video), and each picture's grey, that luma at full range,
// cut to the part of the picture that is meant to be shown.
#include <mfapi.h>

#include <algorithm>
#include <array>

#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

// Formats whose luma the pictures are read in, best first: planes of 8-bit luma, then luma
// interleaved with colour, then 16-bit luma (whose high byte is taken).
constexpr std::array<const GUID*, 7> READABLE{
    &MFVideoFormat_NV12, &MFVideoFormat_YV12, &MFVideoFormat_I420, &MFVideoFormat_IYUV,
    &MFVideoFormat_YUY2, &MFVideoFormat_P010, &MFVideoFormat_P016};

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

bool mf_ask_readable_format(mf_decoder& video) {
  for (const GUID* subtype : READABLE) {
    com_ptr<IMFMediaType> wanted;
    if (SUCCEEDED(video.library->create_media_type(&wanted)) &&
        SUCCEEDED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) &&
        SUCCEEDED(wanted->SetGUID(MF_MT_SUBTYPE, *subtype)) &&
        SUCCEEDED(video.reader->SetCurrentMediaType(MF_VIDEO_STREAM, nullptr, wanted.Get()))) {
      return true;
    }
  }
  return false;
}

// Reads what the decoded pictures are like, now and after the reader says they changed.
// Returns false for pictures that cannot be read.
bool mf_read_format(mf_decoder& video) {
  mf_format& format = video.format;
  com_ptr<IMFMediaType> type;
  if (FAILED(video.reader->GetCurrentMediaType(MF_VIDEO_STREAM, &type)) ||
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

}  // namespace glyphreeler
