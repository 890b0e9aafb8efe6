#!/usr/bin/env bash
# Installs what is missing, builds Velmora (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target velmora
exec ./build/velmora
