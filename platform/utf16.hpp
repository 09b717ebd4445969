// UTF-8 and UTF-16, for text that crosses into Windows' wide system calls. Every sequence of
// 16-bit units survives the round trip, unpaired surrogates included (encoded in three bytes as
// if they were characters, the "WTF-8" convention), so that no file name is lost on the way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glyphreeler {

std::string utf8_of_utf16(std::u16string_view text);

// Each byte that starts no character (and each character cut short) becomes U+FFFD.
std::u16string utf16_of_utf8(std::string_view text);

// The length of `text` without an unfinished character at its end, for a caller that gets text
// in pieces and keeps that rest for the next one.
std::size_t complete_utf8_length(std::string_view text);

}  // namespace glyphreeler
