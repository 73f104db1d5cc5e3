#include "core/text_encoding.h"

namespace rovena {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

namespace {

// U+0000..U+001F, U+007F and the C1 controls U+0080..U+009F, given one well-formed sequence.
bool IsControl(std::string_view character) {
  const auto lead = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return lead < 0x20 || lead == 0x7F;
  return character.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
}

void AppendHexEscapes(std::string& out, std::string_view bytes) {
  constexpr char kHex[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
}

// Calls `each` with every character of `text` (a well-formed sequence) or stray byte, and
// whether it is well-formed.
template <typename Each>
void ForEachCharacter(std::string_view text, Each each) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    each(text.substr(i, length ? length : 1), length != 0);
    i += length ? length : 1;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string NameText(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  ForEachCharacter(name, [&out](std::string_view character, bool wellFormed) {
    if (!wellFormed || IsControl(character))
      AppendHexEscapes(out, character);
    else
      out += character == "\\" ? std::string_view("\\\\") : character;
  });
  return out;
}

std::string NameFromText(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (rest.substr(0, 2) == "\\\\") {
      bytes += '\\';
      ++i;
    } else if (rest.size() >= 4 && rest.substr(0, 2) == "\\x" && HexValue(rest[2]) >= 0 && HexValue(rest[3]) >= 0) {
      bytes += static_cast<char>(HexValue(rest[2]) * 16 + HexValue(rest[3]));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

std::string TerminalLine(std::string_view message) {
  std::string out;
  bool lineBreak = false;
  ForEachCharacter(message, [&](std::string_view character, bool wellFormed) {
    if (character == "\n" || character == "\r") {
      lineBreak = !out.empty();
      return;
    }
    if (lineBreak && (character == " " || character == "\t")) return;  // the indentation of a folded line
    if (lineBreak) out += "; ";
    lineBreak = false;
    if (character == "\t")
      out += ' ';
    else if (!wellFormed || IsControl(character))
      AppendHexEscapes(out, character);
    else
      out += character;
  });
  return out;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) out += c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1);
  return out + "\"";
}

}  // namespace rovena
