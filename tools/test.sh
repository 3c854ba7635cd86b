#!/usr/bin/env bash
# Builds slash and runs its tests. With no argument it runs every stage:
#   programs  the programs alone, as the README's first command builds them
#   package   the Debian package: lintian, install, run, remove
#   plain     warnings as errors, then every test (unit, trace, offscreen
#             drawing, the real window under Xvfb, the fault suite, memcheck)
#   sanitize  the same tests built with AddressSanitizer and UBSan (clang)
#   fuzz      the command-line fuzzer for a bounded time (default 60 s)
#   bench     one short round of the benchmark, to prove it still runs; it
#             asserts no timing
# The window tests start their own Xvfb; no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

plain() {
  cmake -S . -B build-test -G Ninja -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DSLASH_BENCH=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-test
  ctest --test-dir build-test --output-on-failure
}

sanitize() {
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DSLASH_WERROR=ON \
    -DSLASH_SANITIZE=ON -DSLASH_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-sanitize
  ASAN_OPTIONS=halt_on_error=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0" \
    ctest --test-dir build-sanitize --output-on-failure
}

fuzz() {
  local seconds=${1:-60}
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DSLASH_WERROR=ON \
    -DSLASH_SANITIZE=ON -DSLASH_FUZZ=ON -DSLASH_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-fuzz --target command_fuzzer
  local work=build-fuzz/corpus
  mkdir -p "$work" build-fuzz/artifacts
  # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
  build-fuzz/tests/command_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 "$work" tests/fuzz/corpus
}

# The README's first command builds just the programs: it must work where
# GoogleTest and Google Benchmark are missing.
programs() {
  cmake -S . -B build-programs -G Ninja -DSLASH_WERROR=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  cmake --build build-programs
  build-programs/slash --version
}

# The Debian package: lintian must accept it, and it must install, run,
# show its manual page and licence, and remove again.
package() {
  cmake -S . -B build-package -G Ninja -DSLASH_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-package
  rm -f build-package/slash_*.deb
  (cd build-package && cpack -G DEB)
  local deb
  deb=$(ls "$root"/build-package/slash_*.deb)
  lintian --fail-on error,warning "$deb"
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$deb"
  /usr/bin/slash --version
  MANPAGER=cat MANWIDTH=80 man slash | grep -q "full-screen"
  grep -q "^License: Expat" /usr/share/doc/slash/copyright
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq slash
  ! [ -e /usr/bin/slash ]
  echo "package: lintian clean; installed, ran, showed its manual page and removed"
}

bench() {
  cmake -S . -B build-test -G Ninja -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DSLASH_BENCH=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-test
  python3 bench/bench.py --build build-test --quick
}

case "${1:-all}" in
  programs) programs ;;
  package) package ;;
  plain) plain ;;
  sanitize) sanitize ;;
  fuzz) fuzz "${2:-60}" ;;
  bench) bench ;;
  all) programs && package && plain && sanitize && fuzz 60 && bench ;;
  *) echo "usage: tools/test.sh [programs|package|plain|sanitize|fuzz [SECONDS]|bench|all]" >&2; exit 2 ;;
esac
