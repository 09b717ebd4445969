// Each kind of input through its stages to frames.
#include "glyphpack/pack.hpp"

#include <algorithm>
#include <string>

#include "glyphpack/picture/layout.hpp"
#include "glyphpack/picture/sample_grid.hpp"

namespace glyphreeler {
namespace {

// Reads the next PGM image a row at a time into the scaler, then chooses the glyphs of what it
// makes. Returns as next_frame does; a failure names the image.
int next_pgm_frame(byte_source& source, pgm_packing& pgm, bool invert, frame_cells& frame,
                   pack_error& error) {
  pgm_header image;
  std::string problem;
  const int got = next_pgm_image(source, pgm.reader, image, problem);
  if (got == 0) return 0;
  if (got > 0) problem = scaler_start(pgm.scaler, image.width, image.height, image.maximum);
  for (std::uint32_t y = 0; y < image.height && problem.empty(); ++y) {
    if (!read_pgm_row(source, image, scaler_row(pgm.scaler))) {
      problem = "image data cut short";
    } else if (!scaler_take_row(pgm.scaler)) {
      problem = "cannot be scaled";
    }
  }
  if (!problem.empty()) {
    error = {0, 0, "image " + std::to_string(pgm.reader.images) + ": " + problem};
    return -1;
  }
  choose_glyphs(scaler_finish(pgm.scaler), invert, frame, &pgm.glyphs);
  return 1;
}

// Makes the frame of the decoder's held picture, or of the one just given: laid out as it is meant
// to be shown, its grey sampled at the size it takes, and its glyphs chosen. Returns false when
// the picture cannot be converted.
bool make_frame(media_reader& reader, bool held, const pack_options& options, frame_cells& frame) {
  picture_facts facts;
  if (!decoder_picture_facts(*reader.decoder, held, facts)) return false;
  const picture_layout layout = lay_out_picture(facts, options.stretch);
  const std::uint16_t* samples = nullptr;
  std::size_t stride = 0;
  if (!sample_picture(reader.sampler, *reader.decoder, held, layout.columns, layout.rows,
                      options.invert, samples, stride)) {
    return false;
  }
  choose_glyphs(shown_grid(layout, samples, stride, reader.turned), options.invert, frame,
                &reader.glyphs);
  return true;
}

// Gives the next frame of an open decoder: pictures are decoded and offered to the sampling
// until it has frames to give, which are made of the held picture before it is replaced.
// Returns 1 with `frame` filled, 0 after the last frame, or -1 with `problem` set.
int next_sampled_frame(media_reader& reader, const pack_options& options, frame_cells& frame,
                       std::string& problem) {
  media_decoder& decoder = *reader.decoder;
  sampling& sampled = reader.sampled;
  for (;;) {
    if (reader.repeats > 0) {
      --reader.repeats;
      frame = reader.made;
      return 1;
    }
    if (reader.finished) return 0;
    picture_time when;
    const std::uint64_t enough = reader.limits.max_pictures;
    const int got = enough != 0 && sampled.pictures >= enough
                        ? 0
                        : decoder_next_picture(decoder, sampling_demand(sampled), when);
    reader.progress.pictures = decoder_pictures_read(decoder);
    if (got < 0) {
      problem = decoder_failure(decoder);
      return -1;
    }
    std::int64_t count = 0;
    bool made = true;
    if (got == 0) {
      reader.finished = true;
      if (sampled.pictures == 0) {
        problem = decoder_failure(decoder);  // not one picture could be decoded
        return -1;
      }
      if (!sampling_finish(sampled, count)) {
        problem = too_many_frames_message();
        return -1;
      }
      if (count > 0) made = make_frame(reader, true, options, reader.made);
    } else {
      std::int64_t end = 0;
      if (sampled.pictures == 0 && decoder_end(decoder, end)) sampling_end_at(sampled, end);
      sampling_step step;
      if (!sampling_offer(sampled, when, step)) {
        problem = too_many_frames_message();
        return -1;
      }
      count = step.held_frames;
      if (step.held_frames > 0) made = make_frame(reader, true, options, reader.made);
      if (step.frame_of_new) {
        count = 1;
        made = make_frame(reader, false, options, reader.made);
      }
      // At the player's pace each picture is held in turn, until a later one ends it.
      if (!sampled.every_frame) decoder_hold(decoder);
      reader.progress.done_us = sampled.done_us;
      reader.progress.total_us = sampled.total_us;
    }
    if (!made) {
      problem = "a picture cannot be converted";
      return -1;
    }
    reader.repeats = count;
  }
}

}  // namespace

int next_media_frame(byte_source& source, media_reader& reader, const pack_options& options,
                     frame_cells& frame, pack_error& error) {
  const auto fail = [&](const std::string& message) {
    reader.failed = true;
    reader.decoder.reset();  // lets go of the library's state, and of the source, at once
    error = {0, 0, message};
    return -1;
  };
  if (reader.ended) return 0;
  if (reader.failed) return fail(std::string(undecodable_message()));
  if (!reader.decoder) {
    reader.sampled.every_frame = options.every_frame;
    reader.limits.least_side = std::max(FRAME_SAMPLES_ACROSS, FRAME_SAMPLES_DOWN);
    if (const std::string problem = open_media_decoder(source, reader.limits, reader.decoder);
        !problem.empty()) {
      return fail(problem);
    }
  }
  std::string problem;
  const int got = next_sampled_frame(reader, options, frame, problem);
  if (got == 0) {
    reader.ended = true;
    reader.decoder.reset();
  }
  return got < 0 ? fail(problem) : got;
}

void start_reading(byte_source& source, frame_reader& reader) {
  reader.kind = kind_of_input(source, starts_like_media);
}

int next_frame(byte_source& source, frame_reader& reader, frame_cells& frame, pack_error& error) {
  switch (reader.kind) {
    case input_kind::pgm:
      return next_pgm_frame(source, reader.pgm, reader.options.invert, frame, error);
    case input_kind::media:
      return next_media_frame(source, reader.media, reader.options, frame, error);
    case input_kind::text_art: break;
  }
  return next_text_frame(source, reader.text, frame, error);
}

}  // namespace glyphreeler
