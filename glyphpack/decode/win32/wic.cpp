// Pictures and animations through the Windows Imaging Component: whatever codecs the system
// has (PNG, JPEG, BMP, TIFF and GIF always; WebP, HEIF and others where installed) decode the
// input, WIC converts each picture to 32-bit BGRA a few rows at a time, and its grey and alpha
// are taken from that. A GIF gives every frame, each drawn on the animation's logical screen
// over what the frame before left there, as its disposal says; any other container gives its
// first picture. A picture marked with an EXIF orientation is turned to show upright.
#include <algorithm>
#include <cstring>

#include "glyphpack/decode/exif.hpp"
#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr std::size_t BAND_BYTES = 4 << 20;  // BGRA rows copied out of WIC at a time, at most
constexpr int BGRA_BYTES = 4;
constexpr unsigned char FULLY_OPAQUE = 255;
// A GIF frame's delay is in hundredths of a second. A delay below 2 is taken for 10, as the
// POSIX build's reader and web browsers take it: such files were made for players that did.
constexpr std::int64_t GIF_DELAY_UNIT_US = 10'000;
constexpr unsigned GIF_SHORTEST_DELAY = 2;
constexpr unsigned GIF_DEFAULT_DELAY = 10;
// GIF disposals: what becomes of a frame's area before the next frame is drawn.
constexpr int DISPOSE_TO_BACKGROUND = 2;
constexpr int DISPOSE_TO_PREVIOUS = 3;

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

// Whether WIC's call succeeded; if not, its failure is kept.
bool succeeded(wic_decoder& wic, HRESULT result) {
  if (FAILED(result)) wic.trouble->failure = result;
  return SUCCEEDED(result);
}

// `frame` as 32-bit BGRA with straight alpha, converted by WIC as its pixels are copied out.
// Made through the factory, so that the program imports nothing of WIC's own DLL (see
// media_win32.hpp).
bool as_bgra(wic_decoder& wic, IWICBitmapFrameDecode& frame, com_ptr<IWICBitmapSource>& bgra) {
  com_ptr<IWICFormatConverter> converter;
  if (!succeeded(wic, wic.factory->CreateFormatConverter(&converter)) ||
      !succeeded(
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
    if (!succeeded(wic, source.CopyPixels(
                            &band, static_cast<UINT>(row_bytes),
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

decode_result still_picture(wic_decoder& wic, decoded_picture& picture) {
  com_ptr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (!succeeded(wic, wic.decoder->GetFrame(0, &frame)) ||
      !succeeded(wic, frame->GetSize(&width, &height)) ||
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

// Clears the screen's rectangle (within the screen, perhaps empty) to the background, or to
// transparency.
void fill_rect(wic_decoder& wic, int left, int top, int width, int height, bool background) {
  if (width <= 0) return;
  for (int y = top; y < top + height; ++y) {
    const std::size_t at =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(wic.screen_width) +
        static_cast<std::size_t>(left);
    std::memset(&wic.screen_grey[at], background ? wic.background_grey : 0,
                static_cast<std::size_t>(width));
    std::memset(&wic.screen_alpha[at], background ? FULLY_OPAQUE : 0,
                static_cast<std::size_t>(width));
  }
}

// Copies the screen's rectangle (within the screen, perhaps empty) into the saved planes, or
// back from them.
void keep_rect(wic_decoder& wic, int left, int top, int width, int height, bool restore) {
  if (width <= 0) return;
  for (int y = top; y < top + height; ++y) {
    const std::size_t at =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(wic.screen_width) +
        static_cast<std::size_t>(left);
    const auto count = static_cast<std::size_t>(width);
    if (restore) {
      std::memcpy(&wic.screen_grey[at], &wic.saved_grey[at], count);
      std::memcpy(&wic.screen_alpha[at], &wic.saved_alpha[at], count);
    } else {
      std::memcpy(&wic.saved_grey[at], &wic.screen_grey[at], count);
      std::memcpy(&wic.saved_alpha[at], &wic.screen_alpha[at], count);
    }
  }
}

decode_result animation_frame(wic_decoder& wic, decoded_picture& picture) {
  if (wic.next_frame >= wic.frames) return decode_result::ended;
  // A frame that cannot be read ends the animation: those before it stand.
  const decode_result broken = wic.next_frame == 0 ? decode_result::failed : decode_result::ended;
  com_ptr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (!succeeded(wic, wic.decoder->GetFrame(wic.next_frame, &frame)) ||
      !succeeded(wic, frame->GetSize(&width, &height))) {
    return broken;
  }
  // A frame may claim more than its screen, which it would be decoded at.
  if (!picture_allowed(*wic.trouble, width, height)) return decode_result::failed;
  com_ptr<IWICMetadataQueryReader> query;
  frame->GetMetadataQueryReader(&query);
  const auto left = static_cast<int>(metadata_number(query.Get(), L"/imgdesc/Left", 0));
  const auto top = static_cast<int>(metadata_number(query.Get(), L"/imgdesc/Top", 0));
  unsigned delay = metadata_number(query.Get(), L"/grctlext/Delay", 0);
  if (delay < GIF_SHORTEST_DELAY) delay = GIF_DEFAULT_DELAY;
  const auto disposal = static_cast<int>(metadata_number(query.Get(), L"/grctlext/Disposal", 0));
  const bool transparent = metadata_number(query.Get(), L"/grctlext/TransparencyFlag", 0) != 0;

  if (wic.next_frame == 0) {
    // A first frame with no transparency shows on the background colour, another on nothing.
    fill_rect(wic, 0, 0, wic.screen_width, wic.screen_height, wic.has_background && !transparent);
  } else if (wic.last_disposal == DISPOSE_TO_BACKGROUND) {
    fill_rect(wic, wic.last_left, wic.last_top, wic.last_width, wic.last_height,
              wic.has_background && !wic.last_transparent);
  } else if (wic.last_disposal == DISPOSE_TO_PREVIOUS) {
    keep_rect(wic, wic.last_left, wic.last_top, wic.last_width, wic.last_height, true);
  }
  // The part of the frame on the screen; a frame may reach past it.
  const int shown_width = std::clamp(wic.screen_width - left, 0, static_cast<int>(width));
  const int shown_height = std::clamp(wic.screen_height - top, 0, static_cast<int>(height));
  if (disposal == DISPOSE_TO_PREVIOUS) {
    if (wic.saved_grey.empty()) {
      wic.saved_grey.resize(wic.screen_grey.size());
      wic.saved_alpha.resize(wic.screen_alpha.size());
    }
    keep_rect(wic, left, top, shown_width, shown_height, false);
  }
  com_ptr<IWICBitmapSource> converted;
  if (shown_width > 0 && shown_height > 0 &&
      (!as_bgra(wic, *frame.Get(), converted) ||
       !copy_grey(wic, *converted.Get(), WICRect{0, 0, shown_width, shown_height}, left, top,
                  wic.screen_width, wic.screen_grey.data(), wic.screen_alpha.data(), true))) {
    return broken;
  }
  wic.last_disposal = disposal;
  wic.last_left = left;
  wic.last_top = top;
  wic.last_width = shown_width;
  wic.last_height = shown_height;
  wic.last_transparent = transparent;
  ++wic.next_frame;

  picture = decoded_picture{};
  picture.facts.width = wic.screen_width;
  picture.facts.height = wic.screen_height;
  picture.grey = wic.screen_grey;
  picture.alpha = wic.screen_alpha;
  drop_opaque_alpha(picture);
  picture.when.known = true;
  picture.when.time = wic.next_time;
  picture.when.duration = std::int64_t{delay} * GIF_DELAY_UNIT_US;
  wic.next_time += picture.when.duration;
  return decode_result::given;
}

// Reads the GIF's logical screen and background colour. Returns false for a screen too large.
bool open_animation(wic_decoder& wic) {
  com_ptr<IWICMetadataQueryReader> query;
  wic.decoder->GetMetadataQueryReader(&query);
  auto width = metadata_number(query.Get(), L"/logscrdesc/Width", 0);
  auto height = metadata_number(query.Get(), L"/logscrdesc/Height", 0);
  com_ptr<IWICBitmapFrameDecode> first;
  UINT first_width = 0, first_height = 0;
  if (width == 0 || height == 0) {
    // No screen of its own: the first frame's size stands for it.
    if (FAILED(wic.decoder->GetFrame(0, &first)) ||
        FAILED(first->GetSize(&first_width, &first_height))) {
      return false;
    }
    width = first_width;
    height = first_height;
  }
  if (!picture_allowed(*wic.trouble, width, height)) return false;
  wic.screen_width = static_cast<int>(width);
  wic.screen_height = static_cast<int>(height);
  wic.screen_grey.assign(std::size_t{width} * height, 0);
  wic.screen_alpha.assign(wic.screen_grey.size(), 0);

  com_ptr<IWICPalette> palette;
  UINT colours = 0;
  const unsigned index = metadata_number(query.Get(), L"/logscrdesc/BackgroundColorIndex", 0);
  if (metadata_number(query.Get(), L"/logscrdesc/GlobalColorTableFlag", 0) != 0 &&
      SUCCEEDED(wic.factory->CreatePalette(&palette)) &&
      SUCCEEDED(wic.decoder->CopyPalette(palette.Get())) &&
      SUCCEEDED(palette->GetColorCount(&colours)) && index < colours) {
    std::vector<WICColor> table(colours);
    if (SUCCEEDED(palette->GetColors(colours, table.data(), &colours)) && index < colours) {
      const WICColor colour = table[index];  // 0xAARRGGBB
      wic.background_grey = luma_of(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF);
      wic.has_background = true;
    }
  }
  return true;
}

}  // namespace

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
  // Some systems' JPEG codecs expose no metadata to query; the orientation is then read from
  // the bytes themselves.
  if (container == GUID_ContainerFormatJpeg) {
    wic.fallback_turn = turn_of_orientation(jpeg_exif_orientation(start));
  }
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
