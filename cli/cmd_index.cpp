// rovena-cli index: puts recordings into the archive (new and changed ones are read, unchanged
// ones skipped by size and modification time) and says what it did.

#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "cli/cli_commands.h"
#include "archive/index_run.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/text_fields.h"
#include "core/text_encoding.h"

namespace rovena::cli {
namespace {

void PrintSummary(const archive::IndexSummary& s) {
  const double megabytes = s.bytesRead / 1e6;
  std::printf("recordings: %d added, %d updated, %d unchanged, %d removed, %zu skipped, %zu failed\n", s.added,
              s.updated, s.unchanged, s.removed, s.skipped.size(), s.failed.size());
  std::printf("read: %lld pictures, %lld fixes, %.1f MB in %.2f s (%.1f MB/s)\n", static_cast<long long>(s.pictures),
              static_cast<long long>(s.fixes), megabytes, s.seconds, s.seconds > 0 ? megabytes / s.seconds : 0.0);
  for (const auto& [path, reason] : s.skipped) std::printf("skipped %s: %s\n", NameText(path).c_str(), reason.c_str());
  for (const auto& [path, reason] : s.failed) std::printf("failed %s: %s\n", NameText(path).c_str(), reason.c_str());
}

}  // namespace

int RunIndex(const std::vector<std::string>& argv) {
  CommandReport report("index");
  const ParsedArgs args = ParseArgs(argv, "index");
  if (!args.error.empty()) return report.Usage(args.error);
  if (args.positional.empty()) return report.Usage("name at least one file or folder");
  archive::IndexOptions options;
  options.paths = args.positional;
  options.prune = args.Flag("--prune");
  const std::optional<int> jobs = JobsOption(args);
  if (!jobs) return report.Usage(kJobsUsage);
  options.jobs = *jobs;
  std::optional<Progress> progress;  // made once the number of files is known
  options.progress = [&](const archive::IndexProgress& p) {
    if (!progress) progress.emplace(args.Flag("--quiet"), static_cast<std::int64_t>(p.total), "files");
    progress->Update(static_cast<std::int64_t>(p.done), static_cast<std::int64_t>(p.done));
  };
  archive::IndexSummary summary;
  try {
    const auto store = archive::OpenArchive(args.Option("--db").value_or(""), archive::Access::ReadWrite);
    summary = archive::IndexRecordings(*store, options);
  } catch (const archive::ArchiveError& e) {
    return report.Fail(e.what());
  }
  if (progress) progress->Finish();
  PrintSummary(summary);
  for (const std::string& warning : summary.warnings) report.Warn(warning);
  return report.Finish(summary.failed.empty(), Counted(static_cast<long long>(summary.failed.size()), "file", "files") + " could not be indexed");
}

}  // namespace rovena::cli
