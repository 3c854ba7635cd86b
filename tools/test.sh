#!/usr/bin/env bash
# Builds slash and runs its tests. With no argument it runs every stage, each
# under a heading, and ends with one summary line a stage; it goes on past a
# failed stage and exits non-zero if any failed:
#   tidy      every C++ file as .clang-format has it, and an LTO build that
#             finds no two types of one name (-Wodr)
#   programs  the programs alone, as the README's first command builds them
#   package   the Debian package: lintian, its fields and files, and the
#             programs run from a throwaway folder it is unpacked into; the
#             system's own packages are never touched
#   plain     warnings as errors, then every test (unit, trace, offscreen
#             drawing, the real window under Xvfb, the fault suite, memcheck)
#   sanitize  the same tests built with AddressSanitizer and UBSan (clang)
#   windows   the Windows build (mingw-w64): its display-free tests and
#             version record, its zip, and slash.exe under Wine on Xvfb
#   fuzz      the command-line fuzzer for a bounded time (default 60 s)
#   bench     one short round of the benchmark, to prove it still runs; it
#             asserts no timing
# The window tests start their own Xvfb; no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Runs a build's tests two at a time: most of the suite's time is spent
# waiting on the effect's own clock, not computing. A timing or
# screen-watching check whose harness its neighbour starved says "not judged"
# and is skipped; those checks then run once more, one at a time, so that a
# neighbour's load is never why a check went unjudged. A check skipped for
# another reason (one that needs root) is not run again.
run_tests() {
  local dir=$1 log skipped starved again
  log=$(mktemp)
  if ! ctest --test-dir "$dir" --output-on-failure -j2 | tee "$log"; then
    rm -f "$log"
    return 1
  fi
  skipped=$(sed -n 's/^\t *\([0-9]\+\) - .* (Skipped)$/\1/p' "$log" | sort)
  rm -f "$log"
  starved=$(awk -F/ '/^[0-9]+\/[0-9]+ Testing: / {n = $1} /not judged: / {print n}' \
    "$dir/Testing/Temporary/LastTest.log" | sort -u)
  again=$(comm -12 <(echo "$skipped") <(echo "$starved") | paste -sd,)
  [[ -z $again ]] && return 0
  echo "The checks not judged above, judged again one at a time:"
  ctest --test-dir "$dir" --output-on-failure -I "0,0,0,$again"
}

plain() {
  cmake -S . -B build-test -G Ninja -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DSLASH_BENCH=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLASH_WINDOWS_BUILD=
  cmake --build build-test
  run_tests build-test
}

sanitize() {
  CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DSLASH_WERROR=ON \
    -DSLASH_SANITIZE=ON -DSLASH_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-sanitize
  ASAN_OPTIONS=halt_on_error=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions='$root/tests/sanitizer/lsan.supp':print_suppressions=0" \
    run_tests build-sanitize
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

# The tree as the project keeps it: every C++ file as the project's
# .clang-format has it, and no two types of one name anywhere in a program,
# which only a build that sees every file at once can tell (LTO's -Wodr).
tidy() {
  local unformatted
  unformatted=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 |
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
  if [[ -n $unformatted ]]; then
    echo "tidy: not as .clang-format has it (clang-format -i fixes them):" $unformatted >&2
    return 1
  fi
  cmake -S . -B build-lto -G Ninja -DSLASH_WERROR=ON -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON \
    -DCMAKE_CXX_FLAGS=-Wodr -DCMAKE_EXE_LINKER_FLAGS="-Wodr -Werror"
  cmake --build build-lto
  echo "tidy: every C++ file formatted; one definition of every type in both programs"
}

# The README's first command builds just the programs: it must work where
# GoogleTest and Google Benchmark are missing.
programs() {
  cmake -S . -B build-programs -G Ninja -DSLASH_WERROR=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  cmake --build build-programs
  build-programs/slash --version
}

# The Debian package: lintian must accept it; its control fields, files,
# manual pages and stripped programs are checked, and it is unpacked into a
# throwaway folder to run from there. Nothing is installed on the system, so
# an installed slash stays as it was.
package() {
  cmake -S . -B build-package -G Ninja -DSLASH_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-package
  rm -f build-package/slash_*.deb
  (cd build-package && cpack -G DEB)
  local deb
  deb=$(ls "$root"/build-package/slash_*.deb)
  lintian --fail-on error,warning "$deb"
  local version
  version=$(build-package/slash --version | head -n 1 | cut -d' ' -f2)
  [[ $(dpkg-deb --field "$deb" Package) == slash ]]
  [[ $(dpkg-deb --field "$deb" Version) == "$version" ]]
  [[ $(dpkg-deb --field "$deb" Architecture) == "$(dpkg --print-architecture)" ]]
  local depends
  depends=$(dpkg-deb --field "$deb" Depends)
  grep -q 'libxcb1' <<<"$depends"
  grep -q 'libwayland-client0' <<<"$depends"
  grep -q 'libtinfo6' <<<"$depends"
  [[ ${depends,,} != *sdl* ]]
  local contents
  contents=$(dpkg-deb --contents "$deb" | awk '{$1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print}')
  for file in ./usr/bin/slash ./usr/bin/slash-trace ./usr/share/man/man1/slash.1.gz \
    "./usr/share/man/man1/slash-trace.1.gz -> slash.1.gz" ./usr/share/doc/slash/copyright \
    ./usr/share/doc/slash/changelog.gz; do
    grep -qxF "$file" <<<"$contents" || { echo "package: $file is missing" >&2; return 1; }
  done
  local unpacked
  unpacked=$(mktemp -d)
  trap 'rm -rf "$unpacked"' RETURN
  dpkg-deb -x "$deb" "$unpacked"
  for program in slash slash-trace; do
    if readelf -S "$unpacked/usr/bin/$program" | grep -q '\.symtab'; then
      echo "package: $program is not stripped" >&2
      return 1
    fi
    "$unpacked/usr/bin/$program" --version | grep -q "^$program $version\$"
  done
  MANPAGER=cat MANWIDTH=80 man -l "$unpacked/usr/share/man/man1/slash.1.gz" | grep -q "full-screen"
  grep -q "^License: Expat" "$unpacked/usr/share/doc/slash/copyright"
  hardened "$unpacked/usr/bin/slash" "$unpacked/usr/bin/slash-trace"
  reproduced "package" 'cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$B" && (cd "$B" && cpack -G DEB)' '"$B"/slash_*.deb' other-fs
  echo "package: lintian clean; fields, files and manual page as expected; hardened;" \
    "reproducible; ran unpacked"
}

# Every protection a distribution builds with, as hardening-check sees it:
# any "no" fails. Control-flow protection is the exception: Debian 12's C
# library startup files lack its marking, so no program linked with them
# (Debian's own included) is marked; our code is checked for its landing
# instructions instead.
hardened() {
  local program report
  for program in "$@"; do
    report=$(hardening-check --nocfprotection "$program")
    echo "$report"
    if grep -v '(ignored)$' <<<"$report" | grep -q ': no'; then
      echo "package: $(basename "$program") lacks a protection" >&2
      return 1
    fi
    if (($(objdump -d --no-show-raw-insn "$program" | grep -c endbr64) == 0)); then
      echo "package: $(basename "$program") was built without control-flow protection" >&2
      return 1
    fi
  done
}

# Builds an artifact twice, from two clones of HEAD, one after the other,
# with nothing set by hand, and compares the bytes: the second clone in a
# folder whose path has a space, with a build folder of another name, and,
# with `other_fs`, on another file system (a tmpfs). `build` is the command
# run in each clone with $B naming its build folder; `artifact` the file it
# makes, relative to the clone, with $B in it too.
reproduced() (
  what=$1 build=$2 artifact=$3 other_fs=${4:-} sums=()
  work=$(mktemp -d /tmp/slash-reproduce-XXXXXX)
  other=$work
  [[ -n $other_fs ]] && other=$(mktemp -d /dev/shm/slash-reproduce-XXXXXX 2>/dev/null || mktemp -d)
  trap 'rm -rf "$work" "$other"' EXIT
  for place in "$work/one:build" "$other/second clone:other build"; do
    clone=${place%%:*}
    export B=${place##*:}
    git clone -q "$root" "$clone"
    (cd "$clone" && eval "$build") >"$clone.log" 2>&1 ||
      { cat "$clone.log" >&2; echo "$what: the build in $clone failed" >&2; return 1; }
    # shellcheck disable=SC2086 # the artifact's name is a pattern
    sums+=("$(cd "$clone" && eval sha256sum $artifact | cut -d' ' -f1)")
  done
  if [[ ${sums[0]} != "${sums[1]}" ]]; then
    echo "$what: two builds of one commit differ: ${sums[*]}" >&2
    return 1
  fi
  echo "$what: two builds of HEAD in two folders (one with a space${other_fs:+, on a tmpfs})" \
    "give the same bytes (sha256 ${sums[0]})"
)

# Windows: cross-built with mingw-w64 and run under Wine, in one Wine prefix
# made for this run and removed after it.
windows() {
  cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-windows
  rm -f build-windows/slash-*-win64.zip
  (cd build-windows && cpack -G ZIP)
  local zip
  zip=$(ls build-windows/slash-*-win64.zip)
  /usr/bin/python3 - "$zip" <<'PY'
import os, sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
folder = os.path.basename(sys.argv[1])[:-len(".zip")] + "/"
missing = {folder + n for n in ("slash.exe", "slash-trace.exe", "README.md", "LICENSE")} - names
if missing:
    sys.exit(f"windows: the zip lacks {sorted(missing)}")
print(f"windows: {sys.argv[1]} holds both programs, README.md and LICENSE")
PY
  /usr/bin/python3 tests/pe_check.py "$zip"
  reproduced "windows" 'cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake && cmake --build "$B" &&
    (cd "$B" && cpack -G ZIP)' '"$B"/slash-*-win64.zip'
  local prefix
  prefix=$(mktemp -d /tmp/slash-wine-XXXXXX)
  export WINEPREFIX=$prefix SLASH_WINEPREFIX=$prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' RETURN
  # Debian's 64-bit Wine has no 32-bit half, so wineboot reports a failure
  # for the 32-bit parts of the prefix; the prefix itself is made.
  env -u DISPLAY wineboot -i || true
  wineserver -w  # the registry is on disk once the server has ended
  [[ -f $WINEPREFIX/system.reg ]] || { echo "windows: wineboot made no prefix" >&2; return 1; }
  # Wine's server and services kept warm for the display-free tests. The
  # services start with the first program and live on; started here, with
  # nothing of CTest's open, they cannot hold its output pipe open.
  wineserver -p
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1
  ctest --test-dir build-windows --output-on-failure
  wineserver -k
  wineserver -w
  cmake -S . -B build-test -G Ninja -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DSLASH_BENCH=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSLASH_WINDOWS_BUILD="$root/build-windows"
  cmake --build build-test --target slash_wine_tests
  ctest --test-dir build-test -R '^UnderWine[.]' --output-on-failure
}

bench() {
  cmake -S . -B build-test -G Ninja -DSLASH_WERROR=ON -DSLASH_TESTS=ON -DSLASH_BENCH=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-test
  local plot
  plot=$(mktemp --suffix=.png)
  # Debian's own python3, which has the matplotlib that set-up installs.
  /usr/bin/python3 bench/bench.py --build build-test --quick --plot "$plot"
  [[ -s $plot ]] && rm -f "$plot"
}

# Every stage in its own shell, so that a failure stops that stage alone;
# a heading as each starts, and a summary line each at the end.
all() {
  local stages=(tidy programs package plain sanitize windows fuzz bench)
  local summary=() failed=0
  for stage in "${stages[@]}"; do
    echo
    echo "==== stage $stage ===="
    local log start status
    log=$(mktemp)
    start=$SECONDS
    status=0
    bash "$root/tools/test.sh" "$stage" 2>&1 | tee "$log" || status=$?
    local took=$((SECONDS - start)) result=passed
    ((status == 0)) || { result="FAILED (status $status)"; failed=1; }
    summary+=("$stage: $result, $(stage_counts "$stage" "$log"), ${took} s")
    rm -f "$log"
  done
  echo
  echo "==== summary ===="
  printf '%s\n' "${summary[@]}"
  return "$failed"
}

# CTest's count of tests (`total`), failures or skips in the output on stdin,
# over every CTest run in it; 0 for none.
ctest_counted() {
  local text
  text=$(cat)
  case $1 in
    total) sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' <<<"$text" ;;
    failed) sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' <<<"$text" ;;
    skipped) grep -c '\*\*\*Skipped' <<<"$text" || true ;;
  esac | awk '{n += $1} END {print n + 0}'
}

# What a stage ran: CTest's counts and the reasons for any skip, the
# fuzzer's executions, or nothing for the stages that only build or check.
stage_counts() {
  local stage=$1 log=$2
  case $stage in
    plain | sanitize | windows)
      # Every CTest run of the stage counts (windows has two); a check judged
      # again one at a time counts once, as that second run found it.
      local first again total failed skipped
      first=$(sed '/judged again one at a time:$/,$d' "$log")
      again=$(sed -n '/judged again one at a time:$/,$p' "$log")
      total=$(ctest_counted total <<<"$first")
      failed=$(($(ctest_counted failed <<<"$first") + $(ctest_counted failed <<<"$again")))
      skipped=$(($(ctest_counted skipped <<<"$first") - $(ctest_counted total <<<"$again") +
        $(ctest_counted skipped <<<"$again")))
      printf '%s tests: %s passed, %s failed, %s skipped' "${total:-0}" \
        "$((${total:-0} - ${failed:-0} - skipped))" "${failed:-0}" "$skipped"
      local dir=build-test
      [[ $stage == sanitize ]] && dir=build-sanitize
      if ((skipped > 0)) && [[ -f $dir/Testing/Temporary/LastTest.log ]]; then
        printf ' (why: %s)' "$(grep -A1 ': Skipped$' "$dir/Testing/Temporary/LastTest.log" |
          grep -v -e ': Skipped$' -e '^--$' | sort | uniq -c |
          awk '{n=$1; $1=""; printf "%s%s x%d", sep, substr($0, 2), n; sep="; "}')"
      fi
      ;;
    fuzz) printf '%s runs' "$(sed -n 's/.*stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log")" ;;
    *) printf 'no test counts' ;;
  esac
}

usage() {
  cat <<'EOF'
usage: tools/test.sh [STAGE]

Builds slash and runs its tests, each stage in a build folder of its own.
With no stage, every stage runs in turn (about 15-20 minutes on 2 cores),
each under a heading, then one summary line a stage; a failed stage does not
stop the others, and the command then exits non-zero. Set up first with
tools/setup.sh --test. No display is needed: the tests start their own X
servers (Xvfb, Xorg's dummy driver), Wayland compositors (sway, weston,
cage, one of our own), desktops (openbox, icewm, MATE, kwin, mutter, picom)
and Wine, and stop them again.

Stages (rough times on 2 cores):
  tidy       every C++ file formatted by .clang-format; an LTO build of the
             programs with -Wodr: one definition of every type (1 min)
  programs   the programs alone, without GoogleTest or Google Benchmark (1 min)
  package    the .deb: lintian, fields, files, hardening, built twice (once
             on a tmpfs, in a folder with a space) to the same bytes, run
             unpacked (2 min)
  plain      warnings as errors, then every CTest test: unit, slash-trace,
             the real window on X servers, Wayland compositors and desktops,
             terminals, faults, memcheck (5 min)
  sanitize   the same tests under AddressSanitizer and UBSan, with clang (5 min)
  windows    the mingw-w64 build, its zip (same bytes twice, only Windows'
             own DLLs), its tests and slash.exe under Wine (3 min)
  fuzz [S]   the command-line fuzzer for S seconds (default 60) (1 min)
  bench      one short round of the benchmark, to prove it runs (1 min)

Recipes:
  tools/test.sh plain                          one stage
  ctest --test-dir build-test -R 'OnSway'      one test, or a group, by name
                                               (after a plain stage has built)
  ctest --test-dir build-test -L unit          the unit tests alone (seconds)
  ctest --test-dir build-test -N               the names of every test
EOF
}

case "${1:-all}" in
  tidy) tidy ;;
  programs) programs ;;
  package) package ;;
  plain) plain ;;
  sanitize) sanitize ;;
  fuzz) fuzz "${2:-60}" ;;
  windows) windows ;;
  bench) bench ;;
  all) all ;;
  -h | --help | help) usage ;;
  *) echo "usage: tools/test.sh [tidy|programs|package|plain|sanitize|windows|fuzz [SECONDS]|bench|all|--help]" >&2; exit 2 ;;
esac
