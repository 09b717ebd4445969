// Fuzzing of the terminal key decoder, driven as the POSIX key wait drives it: bytes arrive one
// at a time into a 64-byte buffer, the terminal falls quiet now and then, and each decode
// settles a key, skips bytes or asks for more. Every key it settles must mean a code the key
// table can give.
//
// Input layout: a flags byte, then either pauses and raw bytes, or picks from a list of
// well-formed sequences, each of which must come back as exactly one decode.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "runtime/keys.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char UTF8_FLAG = 1;       // the terminal sends UTF-8
constexpr unsigned char SEQUENCES_FLAG = 2;  // the input picks whole sequences
constexpr std::size_t KEY_BUFFER_BYTES = 64;  // as the key wait's buffer

[[noreturn]] void fault(const char* what, std::size_t at, std::size_t count, std::size_t consumed) {
  std::fprintf(stderr, "key decoder: %s (input byte %zu, %zu buffered, %zu consumed)\n", what, at,
               count, consumed);
  std::abort();
}

// The codes the key wait can end with, worked out from the key table and the character rule:
// plain codes and the second halves of extended ones, indexed by code + 128 and by code.
struct producible_codes {
  std::array<bool, 256> plain{};     // code + 128, for codes -128..127
  std::array<bool, 256> extended{};  // the pending second half
};

producible_codes compute_producible() {
  producible_codes codes;
  const auto add = [&codes](int cell) {
    if (cell == NO_KEY_CODE) return;
    if ((cell & EXTENDED_KEY) != 0) {
      codes.extended[static_cast<std::size_t>(cell & 0xFF)] = true;
    } else if (cell >= -128 && cell < 128) {
      codes.plain[static_cast<std::size_t>(cell + 128)] = true;
    }
  };
  for (int row = 0; row <= KEY_TABLE_ROWS && KEY_TABLE[row].virtual_key != NO_KEY_CODE; ++row) {
    add(KEY_TABLE[row].plain);
    add(KEY_TABLE[row].shift);
    add(KEY_TABLE[row].ctrl);
    add(KEY_TABLE[row].alt);
  }
  // Any character a press carries, read as a signed char (so -128..-1 and 1..127; 0 is no
  // character). Not through `add`: a negative code has the extended bit set.
  for (int c = 1; c < 256; ++c) codes.plain[static_cast<std::size_t>((c >= 0x80 ? c - 0x100 : c) + 128)] = true;
  return codes;
}

bool can_produce(const key_decision& decision) {
  static const producible_codes codes = compute_producible();
  switch (decision.outcome) {
    case key_outcome::ignored: return true;
    case key_outcome::code:
      return decision.code >= -128 && decision.code < 128 &&
             codes.plain[static_cast<std::size_t>(decision.code + 128)];
    case key_outcome::extended:
      return decision.code >= 0 && decision.code < 256 &&
             codes.extended[static_cast<std::size_t>(decision.code)];
  }
  return false;
}

// A sequence the decoder must take as one decode, ending where it ends.
struct expected_decode {
  std::size_t end;        // input offset just past the sequence
  decode_status status;   // key or ignored
};

// What the terminal sends and when it pauses, and, for well-formed input, how it must split.
struct terminal_input {
  std::vector<unsigned char> bytes;        // in order of arrival
  std::vector<int> pauses;                 // pauses[i]: quiet spells once i bytes have come
  std::deque<expected_decode> decodes;     // empty for raw input: nothing known beyond safety
  bool utf8 = false;                       // the terminal sends UTF-8
};

// The key wait's loop: read a byte unless the terminal is quiet, decode, drop what was used.
// A quiet spell with bytes held makes the decoder settle them; once all input has come the
// terminal stays quiet until the buffer is empty.
void drive(terminal_input& input) {
  unsigned char buffer[KEY_BUFFER_BYTES];
  std::size_t count = 0;
  std::size_t arrived = 0;
  std::size_t used = 0;  // bytes consumed so far
  const std::size_t step_limit = 2 * input.bytes.size() + 1;
  for (std::size_t steps = 0;; ++steps) {
    // Each step either takes a byte or, when paused, must consume one: a bound on the loop.
    if (steps > step_limit) fault("no progress", arrived, count, 0);
    bool paused = false;
    if (count > 0) {
      if (arrived == input.bytes.size()) {
        paused = true;
      } else if (input.pauses[arrived] > 0) {
        --input.pauses[arrived];
        paused = true;
      }
    }
    if (!paused) {
      if (arrived == input.bytes.size()) break;
      buffer[count++] = input.bytes[arrived++];
    }
    decoded_key decoded = decode_key_bytes(buffer, count, paused, input.utf8);
    if (decoded.status == decode_status::need_more) {
      if (decoded.consumed != 0) fault("need_more claims bytes", arrived, count, decoded.consumed);
      if (paused) fault("no key settled after a pause", arrived, count, 0);
      if (count < KEY_BUFFER_BYTES) continue;
      decoded = {decode_status::ignored, count, {}};  // as the key wait does: no key is this long
    }
    if (decoded.consumed == 0 || decoded.consumed > count) {
      fault("consumed outside 1..count", arrived, count, decoded.consumed);
    }
    if (decoded.status == decode_status::key) {
      const key_decision decision = decide_key(decoded.press);
      if (!can_produce(decision)) {
        std::fprintf(stderr, "press: virtual key %d, modifiers %u, character %d -> outcome %d, code %d\n",
                     decoded.press.virtual_key, decoded.press.modifiers, decoded.press.character,
                     static_cast<int>(decision.outcome), decision.code);
        fault("key gives a code the table cannot", arrived, count, decoded.consumed);
      }
    }
    used += decoded.consumed;
    if (!input.decodes.empty()) {
      const expected_decode want = input.decodes.front();
      input.decodes.pop_front();
      if (used != want.end) fault("sequence not consumed whole", arrived, count, decoded.consumed);
      if (decoded.status != want.status) fault("sequence decoded as the wrong kind", arrived, count, decoded.consumed);
    }
    count -= decoded.consumed;
    for (std::size_t i = 0; i < count; ++i) buffer[i] = buffer[i + decoded.consumed];
  }
  if (count != 0 || used != input.bytes.size()) fault("input left over", arrived, count, 0);
}

// After the flags: a count of pauses, that many gaps (in bytes since the previous pause), then
// the bytes themselves.
void read_raw(const std::uint8_t* data, std::size_t size, terminal_input& input) {
  std::size_t at = 0;
  const std::size_t pause_count = at < size ? data[at++] & 63u : 0;
  std::vector<std::size_t> gaps;
  for (std::size_t i = 0; i < pause_count && at < size; ++i) gaps.push_back(data[at++]);
  input.bytes.assign(data + at, data + size);
  input.pauses.assign(input.bytes.size() + 1, 0);
  std::size_t position = 0;
  for (const std::size_t gap : gaps) {
    position += gap;
    if (position < input.pauses.size()) ++input.pauses[position];
  }
}

enum class in_mode { both, utf8, bytes };  // which terminals send the sequence as listed

struct sequence {
  std::string bytes;      // as the terminal sends it
  decode_status status;   // key, or ignored (no key)
  bool pause_after;       // complete only once the terminal falls quiet
  in_mode mode;           // where it is one decode
};

constexpr decode_status KEY = decode_status::key;
constexpr decode_status SKIP = decode_status::ignored;

// Keys and reports from real terminals, and cut-off sequences that a pause settles.
const std::vector<sequence>& well_formed() {
  static const std::vector<sequence> all = {
      {"a", KEY, false, in_mode::both},          {"Z", KEY, false, in_mode::both},
      {"7", KEY, false, in_mode::both},          {"~", KEY, false, in_mode::both},
      {"\r", KEY, false, in_mode::both},         {"\t", KEY, false, in_mode::both},
      {"\x7f", KEY, false, in_mode::both},       {"\x08", KEY, false, in_mode::both},
      {std::string(1, '\0'), KEY, false, in_mode::both},
      {"\x03", KEY, false, in_mode::both},       {"\x1c", KEY, false, in_mode::both},
      {"\x1b", KEY, true, in_mode::both},        {"\x1b\x1b", KEY, true, in_mode::both},
      {"\x1bx", KEY, false, in_mode::both},      {"\x1b\x7f", KEY, false, in_mode::both},
      {"\x1b[", KEY, true, in_mode::both},       {"\x1bO", KEY, true, in_mode::both},
      {"\x1b[A", KEY, false, in_mode::both},     {"\x1b[1;5C", KEY, false, in_mode::both},
      {"\x1b[3~", KEY, false, in_mode::both},    {"\x1b[5;3~", KEY, false, in_mode::both},
      {"\x1b[24~", KEY, false, in_mode::both},   {"\x1b[Z", KEY, false, in_mode::both},
      {"\x1b[27;5;97~", KEY, false, in_mode::both}, {"\x1b[97;5u", KEY, false, in_mode::both},
      {"\x1b[[A", KEY, false, in_mode::both},    {"\x1b\x1b[D", KEY, false, in_mode::both},
      {"\x1bOP", KEY, false, in_mode::both},     {"\x1bOA", KEY, false, in_mode::both},
      {"\x1bOp", KEY, false, in_mode::both},     {"\x1bO5D", KEY, false, in_mode::both},
      {"\x1bOM", KEY, false, in_mode::both},
      {"\x1b[200~", SKIP, false, in_mode::both}, {"\x1b[<0;10;20M", SKIP, false, in_mode::both},
      {"\x1b[M !!", SKIP, false, in_mode::both}, {"\x1b[?1;2c", SKIP, false, in_mode::both},
      {"\x1b[1;5", SKIP, true, in_mode::both},   {"\x1bO2", SKIP, true, in_mode::both},
      {"\x80", KEY, false, in_mode::both},       {"\xff", KEY, false, in_mode::both},
      {"\xc3\xa9", KEY, false, in_mode::utf8},   {"\xe2\x82\xac", KEY, false, in_mode::utf8},
      {"\xf0\x9f\x98\x80", KEY, false, in_mode::utf8}, {"\x1b\xc3\xa9", KEY, false, in_mode::utf8},
      {"\xe2\x82", KEY, true, in_mode::utf8},    {"\xc3", KEY, false, in_mode::bytes},
      {"\x1b\xc3", KEY, false, in_mode::bytes},
  };
  return all;
}

// After the flags: each byte picks a sequence; those another mode sends differently are left
// out.
void read_sequences(const std::uint8_t* data, std::size_t size, terminal_input& input) {
  const std::vector<sequence>& list = well_formed();
  std::vector<std::size_t> pause_ends;
  for (std::size_t i = 0; i < size; ++i) {
    const sequence& pick = list[data[i] % list.size()];
    if (pick.mode != in_mode::both && (pick.mode == in_mode::utf8) != input.utf8) continue;
    input.bytes.insert(input.bytes.end(), pick.bytes.begin(), pick.bytes.end());
    input.decodes.push_back({input.bytes.size(), pick.status});
    if (pick.pause_after) pause_ends.push_back(input.bytes.size());
  }
  input.pauses.assign(input.bytes.size() + 1, 0);
  for (const std::size_t end : pause_ends) ++input.pauses[end];
}

void run(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  terminal_input input;
  input.utf8 = (data[0] & UTF8_FLAG) != 0;
  if ((data[0] & SEQUENCES_FLAG) != 0) {
    read_sequences(data + 1, size - 1, input);
  } else {
    read_raw(data + 1, size - 1, input);
  }
  drive(input);
}

}  // namespace
}  // namespace glyphreeler

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  glyphreeler::run(data, size);
  return 0;
}
