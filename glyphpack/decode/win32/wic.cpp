// Pictures through the Windows Imaging Component: whatever codecs the system has (PNG, JPEG,
// BMP, TIFF and GIF always; WebP, HEIF and others where installed) decode the input, WIC
// converts each picture to 32-bit BGRA a few rows at a time, and its grey and alpha are taken
// from that. A GIF is an animation (wic_animation.cpp); any other container gives its first
// picture. A picture marked with an EXIF orientation is turned to show upright.
#include <algorithm>

#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr std::size_t BAND_BYTES = 4 << 20;  // BGRA rows copied out of WIC at a time, at most
constexpr int BGRA_BYTES = 4;
constexpr unsigned char FULLY_OPAQUE = 255;

// The turn a frame's EXIF orientation asks for, where WIC finds one: in a JPEG's APP1 block, a
// TIFF's first directory, or wherever the system's photo property handler looks.
bool orientation_turn(IWICBitmapFrameDecode& frame, picture_turn& turn) {
  com_ptr<IWICMetadataQueryReader> query;
  if (FAILED(frame.GetMetadataQueryReader(&query))) return false;
  for (const wchar_t* name :
       {L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}", L"System.Photo.Orientation"}) {
    const unsigned orientation = metadata_number(query.Get(), name, 0);
    if (orientation != 0) {
      turn = turn_of_orientation(static_cast<int>(orientation));
      return true;
    }
  }
  return false;
}

decode_result still_picture(wic_decoder& wic, decoded_picture& picture) {
  com_ptr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (!wic_succeeded(wic, wic.decoder->GetFrame(0, &frame)) ||
      !wic_succeeded(wic, frame->GetSize(&width, &height)) ||
      !picture_allowed(*wic.trouble, width, height)) {
    return decode_result::failed;
  }
  com_ptr<IWICBitmapSource> converted;
  if (!as_bgra(wic, *frame.Get(), converted)) {
    return decode_result::failed;
  }
  picture = decoded_picture{};
  picture.facts.width = static_cast<int>(width);
  picture.facts.height = static_cast<int>(height);
  picture.grey.resize(std::size_t{width} * height);
  picture.alpha.resize(picture.grey.size());
  const WICRect whole{0, 0, picture.facts.width, picture.facts.height};
  if (!copy_grey(wic, *converted.Get(), whole, 0, 0, picture.facts.width, picture.grey.data(),
                 picture.alpha.data(), false)) {
    return decode_result::failed;
  }
  drop_opaque_alpha(picture);
  // Pixels are square: a picture's resolution is for printing (and WIC makes one up where the
  // file has none), and viewers show a pixel a screen pixel.
  if (!orientation_turn(*frame.Get(), picture.facts.turn)) picture.facts.turn = wic.fallback_turn;
  picture.when.known = true;
  return decode_result::given;
}

}  // namespace

// A number from a metadata query, or `otherwise` where the query finds none.
unsigned metadata_number(IWICMetadataQueryReader* query, const wchar_t* name, unsigned otherwise) {
  if (query == nullptr) return otherwise;
  PROPVARIANT value;
  ::PropVariantInit(&value);
  unsigned number = otherwise;
  if (SUCCEEDED(query->GetMetadataByName(name, &value))) {
    switch (value.vt) {
      case VT_UI1: number = value.bVal; break;
      case VT_UI2: number = value.uiVal; break;
      case VT_UI4: number = value.ulVal; break;
      case VT_BOOL: number = value.boolVal != VARIANT_FALSE ? 1 : 0; break;
      default: break;
    }
  }
  ::PropVariantClear(&value);
  return number;
}

// Whether WIC's call succeeded; if not, its failure is kept.
bool wic_succeeded(wic_decoder& wic, HRESULT result) {
  if (FAILED(result)) wic.trouble->failure = result;
  return SUCCEEDED(result);
}

// `frame` as 32-bit BGRA with straight alpha, converted by WIC as its pixels are copied out.
// Made through the factory, so that the program imports nothing of WIC's own DLL (see
// windows_decoder.hpp).
bool as_bgra(wic_decoder& wic, IWICBitmapFrameDecode& frame, com_ptr<IWICBitmapSource>& bgra) {
  com_ptr<IWICFormatConverter> converter;
  if (!wic_succeeded(wic, wic.factory->CreateFormatConverter(&converter)) ||
      !wic_succeeded(
          wic, converter->Initialize(&frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0, WICBitmapPaletteTypeCustom))) {
    return false;
  }
  bgra = converter;
  return true;
}

// Copies `rect` of `source` into grey and alpha planes `stride` pixels wide, at (`to_x`,
// `to_y`), a band of rows at a time. With `over`, only pixels with some opacity are drawn, as a
// GIF frame is drawn over the screen. Returns false when WIC cannot give the pixels.
bool copy_grey(wic_decoder& wic, IWICBitmapSource& source, const WICRect& rect, int to_x, int to_y,
               int stride, unsigned char* grey, unsigned char* alpha, bool over) {
  const std::size_t row_bytes = static_cast<std::size_t>(rect.Width) * BGRA_BYTES;
  const int band_rows = static_cast<int>(std::max<std::size_t>(1, BAND_BYTES / row_bytes));
  wic.band.resize(row_bytes * static_cast<std::size_t>(std::min(band_rows, rect.Height)));
  for (int y = 0; y < rect.Height; y += band_rows) {
    const WICRect band{rect.X, rect.Y + y, rect.Width, std::min(band_rows, rect.Height - y)};
    if (!wic_succeeded(
            wic,
            source.CopyPixels(&band, static_cast<UINT>(row_bytes),
                              static_cast<UINT>(row_bytes * static_cast<std::size_t>(band.Height)),
                              wic.band.data()))) {
      return false;
    }
    for (int row = 0; row < band.Height; ++row) {
      const unsigned char* pixel = &wic.band[row_bytes * static_cast<std::size_t>(row)];
      const std::size_t at =
          static_cast<std::size_t>(to_y + y + row) * static_cast<std::size_t>(stride) +
          static_cast<std::size_t>(to_x);
      for (std::size_t x = 0; x < static_cast<std::size_t>(rect.Width); ++x, pixel += BGRA_BYTES) {
        if (over && pixel[3] == 0) continue;
        grey[at + x] = luma_of(pixel[2], pixel[1], pixel[0]);
        alpha[at + x] = pixel[3];
      }
    }
  }
  return true;
}

// An alpha plane that is opaque throughout is no alpha at all.
void drop_opaque_alpha(decoded_picture& picture) {
  if (std::all_of(picture.alpha.begin(), picture.alpha.end(),
                  [](unsigned char opacity) { return opacity == FULLY_OPAQUE; })) {
    picture.alpha.clear();
  }
}

bool open_wic_decoder(wic_decoder& wic, IStream& stream, std::string_view start) {
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&wic.factory))) ||
      FAILED(wic.factory->CreateDecoderFromStream(&stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                  &wic.decoder)) ||
      FAILED(wic.decoder->GetFrameCount(&wic.frames)) || wic.frames == 0) {
    return false;
  }
  GUID container{};
  wic.decoder->GetContainerFormat(&container);
  // Some systems' JPEG codecs expose no metadata to query, and the PNG codec reads no eXIf
  // chunk; the orientation is then read from the bytes themselves.
  wic.fallback_turn = turn_of_orientation(exif_orientation(start));
  wic.animation = container == GUID_ContainerFormatGif;
  return !wic.animation || open_animation(wic);
}

decode_result next_wic_picture(wic_decoder& wic, decoded_picture& picture) {
  if (wic.animation) return animation_frame(wic, picture);
  // A still gives its first picture only, not a TIFF's other pages or an icon's other sizes.
  if (wic.next_frame++ > 0) return decode_result::ended;
  return still_picture(wic, picture);
}

}  // namespace glyphreeler
