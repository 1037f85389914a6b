// The guard before libplist reads a binary property list. libplist follows each reference anew,
// copying what it finds, and recurses once per level: a few hundred bytes of arrays that each
// hold the next one twice unfold into millions of objects, a few thousand references to one long
// text into megabytes, and deep nesting runs the stack out. A binary Info.plist is read only when
// it unfolds into few objects and little text, few levels deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace appkit {

inline constexpr uint64_t kMaxBinaryObjects = 4096;
inline constexpr uint64_t kMaxBinaryBytes = 64 << 10;  // of text and data, UTF-16 text as UTF-8
inline constexpr std::size_t kMaxBinaryDepth = 64;     // containers, the root among them

// Whether a binary property list ("bplist00": objects, a table of their offsets, a trailer) stays
// within the limits above. Only markers and references are read, without recursion; each object
// is unfolded once and remembered. Anything malformed is refused too.
bool binaryPlistWithinLimits(std::string_view bytes);

}  // namespace appkit
