#!/usr/bin/env bash
# Checks the formatting of every C++ file and runs clang-tidy over the
# project's code: the host build's files as compiled, and the stub's Win32
# glue, the GUI test driver and the packager's Windows side as the mingw build
# compiles them (with that compiler's headers). Python
# files go through pyflakes, shell scripts through shellcheck. Prints every
# finding and how long each check took; fails when any check found something.
#   bash scripts/lint.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cd "$root"
jobs=$(nproc)

failed=()
# check NAME COMMAND...: runs one check and notes whether it passed.
check() {
  local name=$1 started=$SECONDS
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: clean ($((SECONDS - started)) s)"
  else
    echo "== $name: FINDINGS ($((SECONDS - started)) s)"
    failed+=("$name")
  fi
}

# tidy FILE [-- COMPILER ARGS...]: one clang-tidy run, its output in one piece
# (runs go in parallel), without the count of warnings from system headers.
# GCC's own warning options in compile_commands.json (-Wno-restrict) are
# unknown to clang.
tidy() {
  local out status=0
  out=$(clang-tidy --quiet --extra-arg=-Wno-unknown-warning-option "$@" 2>&1) || status=$?
  [ -z "$out" ] || grep -v 'warnings\? generated\.$' <<<"$out" || true
  return $status
}
export -f tidy

format() {
  local sources
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
  clang-format --dry-run --Werror "${sources[@]}"
}

tidy_host() {
  if [ ! -f "$build/compile_commands.json" ]; then
    echo "no $build/compile_commands.json: build first (scripts/build.sh)"
    return 1
  fi
  # shellcheck disable=SC2016 # the inner shell expands its own arguments
  git ls-files 'src/*.cpp' 'tools/pack/*.cpp' | grep -v '_win32\.cpp$' |
    xargs -P "$jobs" -I{} bash -c 'tidy -p "$1" "$2"' _ "$build" {}
}

# Sets mingw to clang's arguments for the mingw compiler's target and its own
# headers, for clang-tidy on the Win32 code.
mingw_args() {
  local version gcc_dir dirs
  version=$(i686-w64-mingw32-g++ -dumpversion)
  gcc_dir=/usr/lib/gcc/i686-w64-mingw32/$version
  if [ ! -d "$gcc_dir" ]; then
    dirs=(/usr/lib/gcc/i686-w64-mingw32/*-win32)
    gcc_dir=${dirs[0]}
  fi
  mingw=(--target=i686-w64-mingw32 -std=c++20 -nostdinc++ -nostdinc
    -isystem "$gcc_dir/include/c++" -isystem "$gcc_dir/include/c++/i686-w64-mingw32"
    -isystem "$gcc_dir/include" -isystem /usr/i686-w64-mingw32/include)
}

# shellcheck disable=SC2016 # the inner shell expands its own arguments
tidy_win32() {
  local mingw
  mingw_args
  git ls-files 'src/*_win32.cpp' | xargs -P "$jobs" -I{} bash -c 'tidy "$@"' _ {} -- "${mingw[@]}" \
    -fno-exceptions -fno-rtti -Isrc -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0400 -DWINVER=0x0400
  local glue=$?
  git ls-files 'tools/guidriver/*.cpp' | xargs -P "$jobs" -I{} bash -c 'tidy "$@"' _ {} -- "${mingw[@]}"
  local driver=$?
  git ls-files 'tools/pack/*_win32.cpp' | xargs -P "$jobs" -I{} bash -c 'tidy "$@"' _ {} -- "${mingw[@]}" \
    -Isrc -Itools/pack -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601
  local packager=$?
  [ $glue -eq 0 ] && [ $driver -eq 0 ] && [ $packager -eq 0 ]
}

python_files() {
  local files
  mapfile -t files < <(git ls-files 'tests/*.py' 'tools/*.py' 'examples/*.py' 'bench/*.py')
  pyflakes3 "${files[@]}"
}

# Scripts by name, and other files whose first line runs a shell (.ci/run).
shell_scripts() {
  local files candidate
  mapfile -t files < <(git ls-files '*.sh')
  while read -r candidate; do
    head -n 1 "$candidate" | grep -qE '^#!.*\b(ba)?sh\b' && files+=("$candidate")
  done < <(git grep -lIE '^#!.*\b(ba)?sh\b' -- ':!*.sh' ':!*.md')
  shellcheck "${files[@]}"
}

# The folders of src/ include one another one way only (docs/architecture.md).
include_rule() {
  python3 scripts/check-includes.py
}

check "include rule" include_rule
check "clang-format" format
check "clang-tidy (host)" tidy_host
check "clang-tidy (stub glue, GUI driver, Windows packager)" tidy_win32
check "pyflakes" python_files
check "shellcheck" shell_scripts

if [ ${#failed[@]} -gt 0 ]; then
  echo "Lint findings in: ${failed[*]}"
  exit 1
fi
echo "Lint clean."
