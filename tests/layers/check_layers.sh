#!/usr/bin/env bash
# Each module may include only the modules below it; the window sits on top and nothing
# includes it, the core knows only itself and the block library's header.
# Usage: check_layers.sh SOURCE_ROOT
set -uo pipefail
cd "$1"
declare -A allowed=(
  [library]="library"
  [core]="core library"
  [digest]="digest core"
  [tools]="tools core"
  [archive]="archive core digest"
  [export]="export core digest"
  [redact]="redact core"
  [cli]="cli core digest tools archive export redact"
  [viewer]="viewer core archive export redact"
)
status=0
for module in "${!allowed[@]}"; do
  [ -d "$module" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
    if [[ " ${allowed[$module]} " != *" $used "* ]]; then
      echo "$file includes $used/, which $module/ may not use"
      status=1
    fi
  done < <(grep -rHE '^\s*#\s*include "[a-z]+/' "$module" --include='*.h' --include='*.cpp')
  # Every project header is named with its module, so the layer shows at the include.
  if grep -rnE '^\s*#\s*include "[^/"]+\.h"' "$module" --include='*.h' --include='*.cpp'; then
    echo "$module/: the includes above do not name their module"
    status=1
  fi
done
exit $status
