#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds m_sifter and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The same configuration as the test command: only the program is built here,
# and the build folder stays ready for the tests.
cmake --preset default >/dev/null
cmake --build --preset default --target m_sifter
exec ./build/app/m_sifter
