#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice: a normal build, then
# one with AddressSanitizer and UndefinedBehaviorSanitizer. Integration tests run against real
# servers started by scripts/with-test-servers.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
  local build_dir=$1
  shift
  cmake -S . -B "$build_dir" -DQUONVERA_WERROR=ON "$@" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
  scripts/with-test-servers.sh ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

run_suite build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUONVERA_SANITIZE=ON
