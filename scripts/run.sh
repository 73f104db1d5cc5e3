#!/usr/bin/env bash
# Set-up, build, and Rovena started on the demo recording.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
exec build/bin/Rovena
