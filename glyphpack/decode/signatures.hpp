// The first bytes that mark a picture or video format so that no text starts with them, as both
// builds' decoders take them: some pictures and videos hold no NUL byte early (a light picture's
// samples, a large file's sizes), and are told from text by these. A signature's first bytes
// alone are not enough where a text could have them too ("GIF89a is a format"): what follows
// must be that format's.
#pragma once

#include <string_view>

namespace glyphreeler {

enum class signature_say {
  none,       // no signature known here: a build's decoders may know one
  media,      // a picture or video format's: PNG, JPEG, GIF, Matroska and WebM, WebP, AVI, MP4
  not_media,  // a signature's first bytes, but not followed as in that format: text it may be
};

// What the input's first bytes, `start`, say.
signature_say media_signature(std::string_view start);

}  // namespace glyphreeler
