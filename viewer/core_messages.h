// The window's words for what the core reports: why a fragment was not saved, what is wrong
// in Rovena.ini, the break in driving or the overlap just crossed. The core gives statuses and numbers; the
// texts are the window's own.
#pragma once

#include <QString>
#include <cstddef>
#include <string>

#include "core/fragment.h"
#include "core/ini_config.h"
#include "core/trip.h"

namespace rovena {

// The message for a fragment that was not saved; `outputPath` and `recordingPath` as bytes.
QString FragmentMessage(const FragmentResult& result, const std::string& outputPath, const std::string& recordingPath);

QString IniMessageText(const IniMessage& message);

// Shown for a moment in the time label's place after a step from recording `index` of the
// trip into the next (or back): "przerwa 00:04:12", "nakładanie 00:02:29" (the time both
// recordings cover, so that the clock stepping back is never a surprise); empty when the
// next recording follows on.
QString JoinMessage(const Trip& trip, std::size_t index);

}  // namespace rovena
