// File names reach us as bytes, and on Linux nothing makes them UTF-8 or keeps control
// characters out of them. Every text Rovena writes (JSON, CSV, GPX, the terminal, the
// archive's PostgreSQL columns) takes a name through NameText, which keeps it whole, valid
// and harmless:
//   - valid UTF-8 without control characters or backslashes is its own text;
//   - each byte that is not part of a well-formed UTF-8 sequence, and each byte of a control
//     character (U+0000..U+001F, U+007F, U+0080..U+009F), is written \xHH, two lower-case
//     hex digits;
//   - a backslash is written \\.
// So the ISO-8859-2 name "z\xB3\xF3d\xBC.m1v" reads z\xb3\xf3d\xbc.m1v wherever it is shown,
// and NameFromText turns that back into the same bytes. The escapes are C's, and those of
// bash's $'...' quoting, so the text also says how to type the name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rovena {

// The length of the well-formed UTF-8 sequence starting at text[i] (1 to 4), or 0 when the
// bytes there are not one (a stray continuation byte, an overlong form, a surrogate, a
// sequence cut short or beyond U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// A file name (any bytes) as text, in the form described above.
std::string NameText(std::string_view name);
// The bytes of a name written by NameText. A backslash that starts neither \\ nor \xHH is
// taken as itself, so names written before the escapes existed still read back.
std::string NameFromText(std::string_view text);

// A message for the terminal as one line: line breaks (and the indentation after them) become
// "; ", a tab a space, and other control characters or bytes that are not UTF-8 are written
// \xHH. Backslashes stay as they are, so names already in their text form read the same.
std::string TerminalLine(std::string_view message);

// `text` as one CSV field: in double quotes (doubled inside) when it holds a comma, a double
// quote or a line end.
std::string CsvField(std::string_view text);

}  // namespace rovena
