// The subcommands of rovena-cli, one source file each. Each takes the arguments after the
// command's name and returns the process exit status (see options.h).
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
int RunRedact(const std::vector<std::string>& args);
int RunTrip(const std::vector<std::string>& args);
int RunIndex(const std::vector<std::string>& args);
int RunFind(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunEvents(const std::vector<std::string>& args);
}
