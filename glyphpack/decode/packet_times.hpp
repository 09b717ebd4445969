// The times a container stamps on a video stream's packets, made fit to decode: a time repeated
// on the next packet belongs to neither (MPEG program streams give it to every picture that ends
// in one of their packets, though it is one picture's), and where a format's times may jump
// (MPEG transport and program streams: recordings joined end to end restart their clock, or
// leap) the stream is followed across each jump as one continuous timeline, as players do. A
// decoder feeds it each packet before decoding it.
#pragma once

#include <cstdint>

namespace glyphreeler {

// A jump is a packet time this far from where the packets before it led, either way, or one
// that goes back by more than JUMP_BACK_US.
inline constexpr std::int64_t JUMP_US = 10'000'000;
inline constexpr std::int64_t JUMP_BACK_US = 100'000;

// What the stream's packets have led to so far.
struct packet_clock {
  bool started = false;           // a packet with a time has come
  std::int64_t last = 0;          // the decoding time of the latest packet that had one, shifted
  std::int64_t expected = 0;      // where the next packet's decoding time should be, shifted
  std::int64_t shift = 0;         // added to every time from the latest jump on
  bool has_presentation = false;  // the latest packet's presentation time, shifted, if it had one
  std::int64_t presentation = 0;
  bool has_unowned = false;  // a presentation time two packets had, which is neither's
  std::int64_t unowned = 0;
};

// A packet's times, in microseconds.
struct packet_times {
  bool has_decoding = false;  // when it is decoded
  std::int64_t decoding = 0;
  bool has_presentation = false;  // when its picture shows
  std::int64_t presentation = 0;
  std::int64_t duration = 0;  // how long, by its own account or the stream's rate; 0 unknown
};

// What to do with a packet's times.
struct packet_verdict {
  bool repeated = false;   // they are the packet before's: neither packet's own
  std::int64_t shift = 0;  // else, what to add to them (0 where the format's times never jump)
};

// Follows the next packet of the stream. `times_may_jump` is the format's say.
packet_verdict follow_packet(packet_clock& clock, const packet_times& times, bool times_may_jump);

// True when a decoded picture's presentation time (shifted as its packet's was) was repeated on
// two packets, so that it is not the picture's own: the picture before the repeat, already being
// decoded when the repeat came, carries it too.
bool time_unowned(const packet_clock& clock, std::int64_t presentation);

}  // namespace glyphreeler
