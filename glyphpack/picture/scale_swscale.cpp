// Scaling greyscale images with libswscale's area filter, rows at a time as they are read, to
// the frame's grid of grey samples.
// libswscale takes an image in slices of rows only while it shrinks by at most about 250 times
// along a side; beyond that it scales in two steps, which it can do only with the whole image in
// hand. So rows are first shrunk to the frame's width in samples on their own (a batch of rows
// at a time, an image of its own, so that a tall narrow image costs few calls), then the rows
// are shrunk at most SLICE_RATIO times as they come, and what that leaves, a column as wide as
// the frame's samples, is shrunk the rest of the way whole. libswscale takes sides below 2^20
// pixels, and shrinks by at most 16384 times in one go: a row of 2^20 is scaled as two halves,
// each to the frame's width, and a side of 2^20 rows as two halves that each make half of the
// middle rows. Samples are first stretched to 16 bits, so that an image with few levels keeps
// the greys of their mixes.
#include <algorithm>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "glyphpack/decode/ffmpeg/ffmpeg_decoder.hpp"
#include "glyphpack/picture/scale.hpp"

namespace glyphreeler {
namespace {

constexpr std::uint32_t SLICE_RATIO = 128;       // well within what libswscale scales by slices
constexpr std::uint32_t SIDES_BELOW = 1u << 20;  // libswscale's limit
constexpr int SAMPLE_BYTES = 2;
// Rows handed to libswscale have room beyond their samples, and one row more: its vector code
// may read and write a little past a row's end.
constexpr std::size_t PADDING_SAMPLES = 32;
// Rows of the middle steps: at most two frame widths.
constexpr std::size_t MIDDLE_ROW_SAMPLES = 2 * FRAME_SAMPLES_ACROSS + PADDING_SAMPLES;
constexpr int MIDDLE_ROW_STRIDE = MIDDLE_ROW_SAMPLES * SAMPLE_BYTES;
// Rows are gathered into batches of about this many samples, and at most MAX_BATCH_ROWS rows,
// before they are scaled: each call into libswscale costs about as much as a few hundred
// samples.
constexpr std::uint32_t BATCH_SAMPLES = 64 * 1024;
constexpr std::uint32_t MAX_BATCH_ROWS = 1024;

}  // namespace

struct image_scaler_state {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t middle_height = 0;  // rows after the sliced step
  unsigned maximum = 0;
  std::uint32_t rows_taken = 0;
  std::uint32_t across_parts = 1;      // each row is scaled in this many parts
  std::uint32_t down_parts = 1;        // the rows are scaled in this many parts
  std::size_t row_stride = 0;          // samples from one row of `batch` to the next
  std::uint32_t batch_rows = 1;        // rows a batch holds
  std::uint32_t batched = 0;           // rows in the batch, after `rows_taken`
  std::vector<std::uint16_t> batch;    // rows read, stretched to 16 bits as each is taken
  std::uint32_t narrow_columns = 0;    // a row's width after the first step
  std::vector<std::uint16_t> narrow;   // the batch's rows, `narrow_columns` wide
  std::vector<std::uint16_t> middle;   // the rows after the sliced step, as wide
  std::vector<std::uint16_t> samples;  // the frame's grey samples
  SwsContext* across = nullptr;        // a part of the batch's rows to the frame's width
  SwsContext* down = nullptr;          // a part of the rows, slice by slice, to its part
                                       // of `middle_height`
  SwsContext* rest = nullptr;          // `middle` to the frame, whole
  ~image_scaler_state() {
    sws_freeContext(across);
    sws_freeContext(down);
    sws_freeContext(rest);
  }
};

void image_scaler_state_deleter::operator()(image_scaler_state* state) const { delete state; }

namespace {

SwsContext* context(SwsContext* old, std::uint32_t width, std::uint32_t height, int new_width,
                    int new_height) {
  return sws_getCachedContext(old, static_cast<int>(width), static_cast<int>(height),
                              AV_PIX_FMT_GRAY16, new_width, new_height, AV_PIX_FMT_GRAY16, SWS_AREA,
                              nullptr, nullptr, nullptr);
}

int scale_whole(SwsContext* scaler, const std::uint16_t* from, int from_stride, int height,
                std::uint16_t* to, int to_stride) {
  const auto* source = reinterpret_cast<const std::uint8_t*>(from);
  auto* destination = reinterpret_cast<std::uint8_t*>(to);
  return sws_scale(scaler, &source, &from_stride, 0, height, &destination, &to_stride);
}

}  // namespace

std::string scaler_start(image_scaler& scaler, std::uint32_t width, std::uint32_t height,
                         unsigned maximum) {
  if (!scaler.state) {
    scaler.state.reset(new image_scaler_state);
    start_reading_library_log();  // libswscale's warnings are not glyphpack's to show either
  }
  image_scaler_state& image = *scaler.state;
  image.width = width;
  image.height = height;
  image.maximum = maximum;
  image.rows_taken = 0;
  image.batched = 0;
  image.across_parts = width < SIDES_BELOW ? 1 : 2;
  image.down_parts = height < SIDES_BELOW ? 1 : 2;
  image.narrow_columns = FRAME_SAMPLES_ACROSS * image.across_parts;
  image.middle_height =
      std::max<std::uint32_t>(FRAME_SAMPLES_DOWN, (height + SLICE_RATIO - 1) / SLICE_RATIO);
  image.batch_rows = std::clamp<std::uint32_t>(BATCH_SAMPLES / width, 1, MAX_BATCH_ROWS);
  image.row_stride = width + PADDING_SAMPLES;
  image.batch.resize(image.row_stride * (image.batch_rows + 1));
  image.narrow.assign(MIDDLE_ROW_SAMPLES * (image.batch_rows + 1), 0);
  image.middle.assign(MIDDLE_ROW_SAMPLES * (image.middle_height + 1), 0);
  image.samples.assign(MIDDLE_ROW_SAMPLES * (FRAME_SAMPLES_DOWN + 1), 0);
  const auto narrow = static_cast<int>(image.narrow_columns);
  image.down = context(image.down, image.narrow_columns, height / image.down_parts, narrow,
                       static_cast<int>(image.middle_height / image.down_parts));
  image.rest = context(image.rest, image.narrow_columns, image.middle_height, FRAME_SAMPLES_ACROSS,
                       FRAME_SAMPLES_DOWN);
  if (image.down == nullptr || image.rest == nullptr) return "cannot be scaled";
  return "";
}

std::uint16_t* scaler_row(image_scaler& scaler) {
  image_scaler_state& image = *scaler.state;
  return image.batch.data() + image.batched * image.row_stride;
}

namespace {

// Scales the batch's rows to the frame's width, then hands them on as the next slice of rows;
// the rows a slice completes land at their place in `middle`. Returns false when libswscale
// cannot scale them (short of memory). The rows are taken either way, so that the next ones
// are read into the batch's room, never past it.
bool scale_batch(image_scaler_state& image) {
  const std::uint32_t batched = image.batched;
  const auto rows = static_cast<int>(batched);
  const std::uint32_t first_row = image.rows_taken;
  image.rows_taken += batched;
  image.batched = 0;
  const int row_bytes = static_cast<int>(image.row_stride) * SAMPLE_BYTES;
  const std::uint32_t part_width = image.width / image.across_parts;
  image.across = context(image.across, part_width, batched, FRAME_SAMPLES_ACROSS, rows);
  if (image.across == nullptr) return false;
  for (std::uint32_t part = 0; part < image.across_parts; ++part) {
    if (scale_whole(image.across, image.batch.data() + part * part_width, row_bytes, rows,
                    image.narrow.data() + part * FRAME_SAMPLES_ACROSS, MIDDLE_ROW_STRIDE) < 0) {
      return false;
    }
  }
  const std::uint32_t part_height = image.height / image.down_parts;
  const std::uint32_t part = first_row / part_height;
  const std::size_t middle_row = part * (image.middle_height / image.down_parts);
  const auto* slice = reinterpret_cast<const std::uint8_t*>(image.narrow.data());
  auto* middle =
      reinterpret_cast<std::uint8_t*>(image.middle.data() + middle_row * MIDDLE_ROW_SAMPLES);
  return sws_scale(image.down, &slice, &MIDDLE_ROW_STRIDE,
                   static_cast<int>(first_row % part_height), rows, &middle,
                   &MIDDLE_ROW_STRIDE) >= 0;
}

}  // namespace

bool scaler_take_row(image_scaler& scaler) {
  image_scaler_state& image = *scaler.state;
  std::uint16_t* row = scaler_row(scaler);
  if (image.maximum != SAMPLE_WHITE) {
    for (std::uint32_t x = 0; x < image.width; ++x) {
      const std::uint32_t sample = row[x];
      row[x] =
          static_cast<std::uint16_t>((sample * SAMPLE_WHITE + image.maximum / 2) / image.maximum);
    }
  }
  ++image.batched;
  // A slice may not run on from one part of the rows into the next.
  const std::uint32_t part_height = image.height / image.down_parts;
  const std::uint32_t taken = image.rows_taken + image.batched;
  if (image.batched == image.batch_rows || taken % part_height == 0 || taken == image.height) {
    return scale_batch(image);
  }
  return true;
}

sample_grid scaler_finish(image_scaler& scaler) {
  image_scaler_state& image = *scaler.state;
  const std::uint16_t* samples = image.middle.data();
  if (image.middle_height != FRAME_SAMPLES_DOWN || image.narrow_columns != FRAME_SAMPLES_ACROSS) {
    scale_whole(image.rest, image.middle.data(), MIDDLE_ROW_STRIDE,
                static_cast<int>(image.middle_height), image.samples.data(), MIDDLE_ROW_STRIDE);
    samples = image.samples.data();
  }
  return {samples, MIDDLE_ROW_SAMPLES, placement{}};
}

}  // namespace glyphreeler
