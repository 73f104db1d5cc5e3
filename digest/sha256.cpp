#include "digest/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "core/output_guard.h"

namespace rovena {
namespace {

constexpr std::size_t kBlock = 1 << 20;
using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Context NewContext() {
  Context context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  return context;
}

std::string HexDigest(EVP_MD_CTX* context) {
  static const char kDigits[] = "0123456789abcdef";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  EVP_DigestFinal_ex(context, digest, &length);
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path, std::string* error,
                                        const std::function<bool()>& keepGoing) {
  const auto fail = [error](const std::string& why) -> std::optional<std::string> {
    if (error) *error = why;
    return std::nullopt;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(std::strerror(errno));
  const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) { ::close(*f); delete f; });
  const GuardedInput guard(fd, path);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  const Context context = NewContext();
  std::vector<unsigned char> block(kBlock);
  for (ssize_t got; (got = ::read(fd, block.data(), block.size())) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(std::strerror(errno));
    EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(got));
    if (keepGoing && !keepGoing()) return fail("cancelled");
  }
  return HexDigest(context.get());
}

std::string Sha256OfBytes(const void* data, std::size_t size) {
  const Context context = NewContext();
  EVP_DigestUpdate(context.get(), data, size);
  return HexDigest(context.get());
}

}  // namespace rovena
