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

namespace {

// The last `count` components of `path`, or the whole path when it has no more.
std::string Tail(const std::string& path, int count) {
  std::size_t start = path.size();
  for (int i = 0; i < count; ++i) {
    const std::size_t slash = start == 0 ? std::string::npos : path.rfind('/', start - 1);
    if (slash == std::string::npos) return path;
    start = slash;
  }
  return path.substr(start + 1);
}

}  // namespace

std::vector<std::string> DistinctTails(const std::vector<std::string>& paths) {
  std::vector<std::string> tails;
  for (const std::string& path : paths) {
    for (int count = 1;; ++count) {
      const std::string tail = Tail(path, count);
      const bool shared = std::any_of(paths.begin(), paths.end(), [&](const std::string& other) {
        return other != path && Tail(other, count) == tail;
      });
      if (!shared || tail == path) {
        tails.push_back(tail);
        break;
      }
    }
  }
  return tails;
}

QString PathFromUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
  return PathFromBytes(QByteArray::fromPercentEncoding(encoded).toStdString());
}

}  // namespace rovena
