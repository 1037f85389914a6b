// Whether bytes are well-formed UTF-8, as a key file's lines and D-Bus's strings must be.
#pragma once

#include <string_view>

namespace text {

// Well-formed UTF-8: no stray or missing continuation byte, no overlong form, no surrogate, nothing
// beyond U+10FFFF. A nul byte is well formed here; the callers that refuse it say so.
bool wellFormedUtf8(std::string_view bytes);

}  // namespace text
