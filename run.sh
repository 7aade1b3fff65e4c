#!/usr/bin/env bash
# Installs what is missing, builds Quillet IM and starts it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
# The program alone, without the test entry points; test.sh builds in folders of its own.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TESTS=OFF >/dev/null
cmake --build build --target quillet-im
exec build/quillet-im "$@"
