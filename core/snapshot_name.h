// The name offered for a snapshot when the user has saved none yet: the recording's name with
// the picture's GPS date and time, in the recording's folder, so snapshots of one drive sort
// by time and say where they came from.
#pragma once

#include <string>
#include <string_view>

namespace rovena {

// "/rec/140500.m1v" with "2007-06-14T14:05:17.000Z" gives "/rec/140500_2007-06-14_14-05-17.bmp";
// without a usable time, "/rec/140500.bmp".
std::string SuggestedSnapshotName(std::string_view recordingPath, std::string_view utc);

// The image format a snapshot name asks for: "png", "jpg", or "bmp" for anything else.
std::string SnapshotFormat(std::string_view name);

}  // namespace rovena
