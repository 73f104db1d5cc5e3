#include "viewer/local_path.h"

#include "core/text_encoding.h"

namespace rovena {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapedByte(QChar c) { return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF; }

}  // namespace

QString PathFromBytes(std::string_view bytes) {
  QString path;
  for (std::size_t i = 0; i < bytes.size();) {
    if (const std::size_t length = Utf8SequenceLength(bytes, i)) {
      path += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
      i += length;
    } else {
      path += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i++])));
    }
  }
  return path;
}

std::string PathToBytes(const QString& path) {
  std::string bytes;
  qsizetype textStart = 0;
  const auto flushText = [&](qsizetype end) {
    bytes += path.mid(textStart, end - textStart).toStdString();
  };
  for (qsizetype i = 0; i < path.size(); ++i) {
    // A low surrogate after a high one is half of a real character, not an escaped byte.
    const bool paired = i > 0 && path[i - 1].isHighSurrogate();
    if (!IsEscapedByte(path[i]) || paired) continue;
    flushText(i);
    bytes += static_cast<char>(path[i].unicode() - kEscapeBase);
    textStart = i + 1;
  }
  flushText(path.size());
  return bytes;
}

QString PathFromUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
  return PathFromBytes(QByteArray::fromPercentEncoding(encoded).toStdString());
}

}  // namespace rovena
