#pragma once
// The window's word when a save would land on an input (core/output_guard.h): the recording
// on screen, or another recording of the open trip. The save dialog has already asked before
// an existing file is replaced; an input is never replaced, whatever the answer.

#include <QString>
#include <optional>
#include <string>
#include <vector>

namespace rovena {

// The refusal for saving `what` (a Polish noun in the genitive: "obrazu", "fragmentu") to
// the first of `targets` that is an input, naming the input; nothing when none is.
// `shownPath` is the recording on screen.
std::optional<QString> InputRefusal(const QString& what, const std::vector<std::string>& targets,
                                    const QString& shownPath);

}  // namespace rovena
