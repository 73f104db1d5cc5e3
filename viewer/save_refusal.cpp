#include "viewer/save_refusal.h"

#include "core/atomic_file.h"
#include "core/output_guard.h"
#include "viewer/local_path.h"

namespace rovena {

std::optional<QString> InputRefusal(const QString& what, const std::vector<std::string>& targets,
                                    const QString& shownPath) {
  for (const std::string& target : targets) {
    const std::optional<std::string> input = InputAt(target);
    if (!input) continue;
    const std::string shown = PathToBytes(shownPath);
    const QString text = *input == shown || SameFile(*input, shown)
                             ? QStringLiteral("Nie można zapisać %1 do oglądanego pliku: %2 (%3)")
                             : QStringLiteral("Nie można zapisać %1 do nagrania otwartej podróży: %2 (%3)");
    return text.arg(what, PathFromBytes(target), PathFromBytes(*input));
  }
  return std::nullopt;
}

}  // namespace rovena
