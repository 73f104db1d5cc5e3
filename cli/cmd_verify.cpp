// rovena-cli verify: hashes the archive's recordings again and lists each as unchanged,
// changed, missing or unreadable: the record that a file is the one that was indexed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "cli/cli_commands.h"
#include "archive/index_run.h"
#include "cli/options.h"
#include "cli/text_fields.h"
#include "archive/recording_scan.h"
#include "digest/sha256.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

std::string StateOf(const archive::RecordingInfo& info) {
  std::error_code gone;
  if (!std::filesystem::exists(info.path, gone) && !gone) return "missing";
  std::string error;
  const auto stamp = archive::StampOf(info.path, error);
  if (!stamp) return "unreadable";
  if (stamp->size != info.size) return "changed";
  const auto hash = Sha256OfFile(info.path, &error);
  if (!hash) return "unreadable";
  return *hash == info.sha256 ? "unchanged" : "changed";
}

}  // namespace

int RunVerify(const std::vector<std::string>& argv) {
  CommandReport report("verify");
  const ParsedArgs args = ParseArgs(argv, "verify");
  if (!args.error.empty()) return report.Usage(args.error);
  std::vector<std::string> roots;
  for (const std::string& path : args.positional) roots.push_back(archive::ArchivePath(path));

  std::vector<archive::RecordingInfo> recordings;
  try {
    recordings = archive::OpenArchive(args.Option("--db").value_or(""), archive::Access::ReadOnly)->Recordings();
  } catch (const archive::ArchiveError& e) {
    return report.Fail(e.what());
  }
  std::vector<bool> rootUsed(roots.size(), false);
  int listed = 0, bad = 0;
  for (const archive::RecordingInfo& info : recordings) {
    bool wanted = roots.empty();
    for (std::size_t i = 0; i < roots.size(); ++i)
      if (archive::IsUnder(info.path, roots[i])) wanted = rootUsed[i] = true;
    if (!wanted) continue;
    const std::string state = StateOf(info);
    std::printf("%-10s %s\n", state.c_str(), NameText(info.path).c_str());
    ++listed;
    bad += state != "unchanged";
  }
  for (std::size_t i = 0; i < roots.size(); ++i) {
    if (rootUsed[i]) continue;
    std::printf("%-10s %s\n", "unindexed", NameText(roots[i]).c_str());
    ++listed;
    ++bad;
  }
  std::fflush(stdout);
  return report.Finish(bad == 0, std::to_string(bad) + " of " + Counted(listed, "file", "files") +
                                     " listed " + (bad == 1 ? "does" : "do") + " not match the archive");
}

}  // namespace rovena::cli
