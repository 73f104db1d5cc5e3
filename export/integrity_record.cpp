#include "integrity_record.h"

#include <openssl/evp.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include <nlohmann/json.hpp>

namespace rovena::exporting {
namespace {

using Json = nlohmann::ordered_json;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

std::string Hex(const unsigned char* digest, unsigned size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

std::string Finish(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_DigestFinal_ex(context, digest, &size);
  return Hex(digest, size);
}

Json FileJson(const RecordedFile& file) {
  return {{"path", file.path}, {"size", file.size}, {"sha256", file.sha256}};
}

std::filesystem::path Resolved(const std::string& jsonPath, const std::string& path) {
  const std::filesystem::path named(path);
  return named.is_absolute() ? named : std::filesystem::path(jsonPath).parent_path() / named;
}

FileCheck Check(const std::string& role, const std::filesystem::path& path, const Json& entry) {
  FileCheck check{role, path.string()};
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  const std::optional<std::string> sha = error ? std::nullopt : FileSha256(path.string());
  if (!sha)
    check.outcome = FileCheck::Outcome::Missing;
  else if (*sha == entry.at("sha256").get<std::string>() && static_cast<std::int64_t>(size) == entry.at("size").get<std::int64_t>())
    check.outcome = FileCheck::Outcome::Match;
  else
    check.outcome = FileCheck::Outcome::Mismatch;
  return check;
}

}  // namespace

std::optional<std::string> FileSha256(const std::string& path, const std::function<bool()>& keepGoing) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  std::vector<char> block(1 << 20);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(in.gcount()));
    if (keepGoing && !keepGoing()) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return Finish(context.get());
}

std::string BytesSha256(const std::vector<std::uint8_t>& bytes) {
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
  return Finish(context.get());
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string RecordJson(const IntegrityRecord& record) {
  Json options = Json::object();
  for (const auto& [name, value] : record.options) options[name] = value;
  Json damaged = Json::array();
  for (const DamagedPicture& picture : record.damaged)
    damaged.push_back({{"recording", picture.recording}, {"picture", picture.number}, {"position", picture.position}});
  Json sources = Json::array();
  for (const RecordedFile& file : record.sources) sources.push_back(FileJson(file));
  Json stretch = Json::array();
  for (const StretchPart& part : record.stretch)
    stretch.push_back({{"source", part.source},
                       {"first_picture", part.firstPicture}, {"last_picture", part.lastPicture},
                       {"first_position", part.firstPosition}, {"last_position", part.lastPosition}});
  Json outputs = Json::array();
  for (const RecordedFile& file : record.outputs) outputs.push_back(FileJson(file));
  const Json json = {
      {"kind", record.kind},
      {"program", {{"name", "rovena-cli"}, {"version", ROVENA_VERSION}}},
      {"started_utc", record.startedUtc},
      {"finished_utc", record.finishedUtc},
      {"arguments", record.arguments},
      {"options", options},
      {"sources", sources},
      {"stretch", stretch},
      {"damaged_pictures", damaged},
      {"outputs", outputs},
  };
  return json.dump(2) + "\n";
}

std::string VerifyRecord(const std::string& jsonPath, std::vector<FileCheck>& checks) {
  checks.clear();
  std::ifstream in(jsonPath);
  if (!in) return jsonPath + ": cannot be read";
  try {
    const Json record = Json::parse(in);
    std::vector<FileCheck> found;
    for (const Json& source : record.at("sources"))
      found.push_back(Check("source", Resolved(jsonPath, source.at("path").get<std::string>()), source));
    for (const Json& output : record.at("outputs"))
      found.push_back(Check("output", Resolved(jsonPath, output.at("path").get<std::string>()), output));
    checks = std::move(found);
    return {};
  } catch (const Json::exception& e) {
    return jsonPath + ": not an integrity record (" + e.what() + ")";
  }
}

}  // namespace rovena::exporting
