// The subcommands of rovena-cli, one source file each. Each takes the arguments after the
// command's name and returns the process exit status.
#pragma once
#include <string>
#include <vector>

namespace rovena::cli {
int RunInfo(const std::vector<std::string>& args);
int RunFrames(const std::vector<std::string>& args);
int RunTrack(const std::vector<std::string>& args);
int RunCut(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunVerifyExport(const std::vector<std::string>& args);
}
