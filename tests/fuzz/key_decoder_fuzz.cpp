// Fuzzing of the terminal key decoder through the key assembler that the POSIX key wait uses:
// bytes arrive one at a time, the terminal falls quiet now and then, and the assembler settles
// keys and skips what is none. Every key it settles must mean a code the key table can give.
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

#include "player/terminal/key_assembler.hpp"
#include "player/terminal/keys.hpp"

namespace glyphreeler {
namespace {

constexpr unsigned char UTF8_FLAG = 1;       // the terminal sends UTF-8
constexpr unsigned char SEQUENCES_FLAG = 2;  // the input picks whole sequences

[[noreturn]] void fault(const char* what, std::size_t at, std::size_t held) {
  std::fprintf(stderr, "key decoder: %s (input byte %zu, %zu held)\n", what, at, held);
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
  for (int c = 1; c < 256; ++c)
    codes.plain[static_cast<std::size_t>((c >= 0x80 ? c - 0x100 : c) + 128)] = true;
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
  std::size_t end;       // input offset just past the sequence
  decode_status status;  // key or ignored
};

// What the terminal sends and when it pauses, and, for well-formed input, how it must split.
struct terminal_input {
  std::vector<unsigned char> bytes;     // in order of arrival
  std::vector<int> pauses;              // pauses[i]: quiet spells once i bytes have come
  std::deque<expected_decode> decodes;  // empty for raw input: nothing known beyond safety
  bool utf8 = false;                    // the terminal sends UTF-8
};

// The terminal: bytes in order, quiet spells where the input says, and quiet for good once all
// has come; then a read finds it hung up. Each call either takes a byte or is a quiet spell that
// must settle one, which bounds the calls.
struct scripted_terminal {
  explicit scripted_terminal(terminal_input& input) : input_(input) {}
  int wait_for_byte(int) {
    count_call();
    if (arrived == input_.bytes.size()) return 0;
    if (input_.pauses[arrived] > 0) {
      --input_.pauses[arrived];
      return 0;
    }
    return 1;
  }
  int read_byte(unsigned char& byte) {
    count_call();
    if (arrived == input_.bytes.size()) return -1;
    byte = input_.bytes[arrived++];
    return 0;
  }
  std::size_t arrived = 0;  // bytes read so far

 private:
  void count_call() {
    if (++calls_ > 3 * input_.bytes.size() + 3) fault("no progress", arrived, 0);
  }
  terminal_input& input_;
  std::size_t calls_ = 0;
};

void drive(terminal_input& input) {
  scripted_terminal terminal(input);
  key_assembler assembler;
  assembler.utf8 = input.utf8;
  const bool well_formed = !input.decodes.empty();  // then where each key ends is known
  key_event press;
  while (next_key_press(assembler, terminal, press) == 0) {
    const key_decision decision = decide_key(press);
    if (!can_produce(decision)) {
      std::fprintf(stderr,
                   "press: virtual key %d, modifiers %u, character %d -> outcome %d, code %d\n",
                   press.virtual_key, press.modifiers, press.character,
                   static_cast<int>(decision.outcome), decision.code);
      fault("key gives a code the table cannot", terminal.arrived, assembler.count);
    }
    if (!well_formed) continue;
    // Well-formed input: the key is the next one listed, after the sequences that are none.
    while (!input.decodes.empty() && input.decodes.front().status != decode_status::key) {
      input.decodes.pop_front();
    }
    if (input.decodes.empty())
      fault("a key where none was sent", terminal.arrived, assembler.count);
    if (terminal.arrived - assembler.count != input.decodes.front().end) {
      fault("sequence not consumed whole", terminal.arrived, assembler.count);
    }
    input.decodes.pop_front();
  }
  if (assembler.count != 0 || terminal.arrived != input.bytes.size()) {
    fault("input left over", terminal.arrived, assembler.count);
  }
  for (const expected_decode& left : input.decodes) {
    if (left.status == decode_status::key) fault("a key was lost", terminal.arrived, 0);
  }
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
  std::string bytes;     // as the terminal sends it
  decode_status status;  // key, or ignored (no key)
  bool pause_after;      // complete only once the terminal falls quiet
  in_mode mode;          // where it is one decode
};

constexpr decode_status KEY = decode_status::key;
constexpr decode_status SKIP = decode_status::ignored;

// Keys and reports from real terminals, and cut-off sequences that a pause settles.
const std::vector<sequence>& well_formed() {
  // clang-format off
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
      {"\x1b[a", KEY, false, in_mode::both},     {"\x1bOd", KEY, false, in_mode::both},
      {"\x1b[2$", KEY, false, in_mode::both},    {"\x1b[11^", KEY, false, in_mode::both},
      {"\x1b[23@", KEY, false, in_mode::both},   {"\x1b[25~", KEY, false, in_mode::both},
      {"\x1b[200~", SKIP, false, in_mode::both}, {"\x1b[<0;10;20M", SKIP, false, in_mode::both},
      {"\x1b[M !!", SKIP, false, in_mode::both}, {"\x1b[?1;2c", SKIP, false, in_mode::both},
      {"\x1b[1;5", SKIP, true, in_mode::both},   {"\x1bO2", SKIP, true, in_mode::both},
      {"\x80", KEY, false, in_mode::both},       {"\xff", KEY, false, in_mode::both},
      {"\xc3\xa9", KEY, false, in_mode::utf8},   {"\xe2\x82\xac", KEY, false, in_mode::utf8},
      {"\xf0\x9f\x98\x80", KEY, false, in_mode::utf8}, {"\x1b\xc3\xa9", KEY, false, in_mode::utf8},
      {"\xe2\x82", KEY, true, in_mode::utf8},    {"\xc3", KEY, false, in_mode::bytes},
      {"\x1b\xc3", KEY, false, in_mode::bytes},
      {"\x1b]", KEY, true, in_mode::both},      {"\x1b]2;cut", SKIP, true, in_mode::both},
      {"\x1b]11;rgb:0000/0000/0000\x07", SKIP, false, in_mode::both},
      {"\x1bP1$r0m\x1b\\", SKIP, false, in_mode::both},
      {"\x1b]0;t\x9c", SKIP, false, in_mode::bytes},
      {"\x1b]52;c;" + std::string(90, 'A') + "\x07", SKIP, false, in_mode::both},
  };
  // clang-format on
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
