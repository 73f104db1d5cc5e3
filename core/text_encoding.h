// File names reach us as bytes, and on Linux nothing makes them UTF-8. Text we write (GPX,
// CSV, JSON) must be valid UTF-8 whatever the name holds, and the window must be able to
// carry such a name through Qt's strings and back to the same bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rovena {

// The length of the well-formed UTF-8 sequence starting at text[i] (1 to 4), or 0 when the
// bytes there are not one (a stray continuation byte, an overlong form, a surrogate, a
// sequence cut short or beyond U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// `text` with every byte that is not part of a well-formed sequence read as Latin-1, the
// usual encoding of names that are not UTF-8, so "caf\xE9" becomes "café".
std::string ToValidUtf8(std::string_view text);

}  // namespace rovena
