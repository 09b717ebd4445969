// GIF animations through the Windows Imaging Component: every frame, each drawn on the
// animation's logical screen over what the frame before left there, as its disposal says, and
// shown for its own delay.
#include <algorithm>
#include <cstring>

#include "glyphpack/decode/win32/windows_decoder.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char FULLY_OPAQUE = 255;
// A GIF frame's delay is in hundredths of a second. A delay below 2 is taken for 10, as the
// POSIX build's reader and web browsers take it: such files were made for players that did.
constexpr std::int64_t GIF_DELAY_UNIT_US = 10'000;
constexpr unsigned GIF_SHORTEST_DELAY = 2;
constexpr unsigned GIF_DEFAULT_DELAY = 10;
// GIF disposals: what becomes of a frame's area before the next frame is drawn.
constexpr int DISPOSE_TO_BACKGROUND = 2;
constexpr int DISPOSE_TO_PREVIOUS = 3;

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

}  // namespace

decode_result animation_frame(wic_decoder& wic, decoded_picture& picture) {
  if (wic.next_frame >= wic.frames) return decode_result::ended;
  // A frame that cannot be read ends the animation: those before it stand.
  const decode_result broken = wic.next_frame == 0 ? decode_result::failed : decode_result::ended;
  com_ptr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (!wic_succeeded(wic, wic.decoder->GetFrame(wic.next_frame, &frame)) ||
      !wic_succeeded(wic, frame->GetSize(&width, &height))) {
    return broken;
  }
  // A frame may claim more than its screen, which it would be decoded at.
  if (!picture_allowed(*wic.trouble, width, height)) return decode_result::failed;
  com_ptr<IWICMetadataQueryReader> query;
  frame->GetMetadataQueryReader(&query);
  const auto left = static_cast<int>(metadata_number(query.Get(), L"/imgdesc/Left", 0));
  const auto top = static_cast<int>(metadata_number(query.Get(), L"/imgdesc/Top", 0));
  // Wine's decoder (8.0) files a later frame's graphic control extension as an unknown block
  // when another extension follows it before the image, as ImageMagick writes them: such a
  // frame has no delay here under wine, and shows for the default.
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

}  // namespace glyphreeler
