#!/usr/bin/env bash
# Installs what is missing, builds m_sifter and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default -DBUILD_TESTING=OFF -DMSIFTER_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default --target m_sifter
exec ./build/app/m_sifter
