#!/usr/bin/env bash
# Installs what is needed, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
cmake --preset ci
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"

# cmake --install and the Debian package of the build just tested.
bash scripts/test-package.sh build/ci

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

# A short run of every fuzz target (about a minute each).
bash scripts/fuzz-smoke.sh

# End-to-end on a real Linux kernel under QEMU (emulated AHCI and USB disks).
bash tests/qemu/run-qemu-tests.sh

# The metrics on a real Prometheus server and node_exporter (on 127.0.0.1), from the collector's
# two readings in the QEMU run just made.
bash tests/prometheus/run-prometheus-test.sh

# The static build's package, which depends on nothing (the QEMU run has just built it).
bash scripts/test-package.sh build/static

# The Windows programs: import tables, manifest, and both builds tested under Wine.
bash scripts/wine-tests.sh

# The Windows builds' .zip packages.
bash scripts/test-package.sh build/win32
bash scripts/test-package.sh build/win64
