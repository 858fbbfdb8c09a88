#!/usr/bin/env bash
# Checks the formatting of every C++ file and runs clang-tidy over the
# project's code: the host build's files as compiled, and the stub's Win32
# glue as the mingw build compiles it (with that compiler's headers).
#   bash scripts/lint.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cd "$root"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
status=0
clang-format --dry-run --Werror "${sources[@]}" || status=1

mapfile -t host < <(git ls-files 'src/*.cpp' 'tools/pack/*.cpp' | grep -v '_win32\.cpp$')
clang-tidy -p "$build" --quiet "${host[@]}" 2>&1 | grep -v 'warnings generated' || true
clang-tidy -p "$build" --quiet "${host[@]}" >/dev/null 2>&1 || status=1

mingw=$(i686-w64-mingw32-g++ -dumpversion)
gcc_dir=/usr/lib/gcc/i686-w64-mingw32/$mingw
[ -d "$gcc_dir" ] || gcc_dir=$(ls -d /usr/lib/gcc/i686-w64-mingw32/*-win32 | head -1)
args=(--target=i686-w64-mingw32 -std=c++20 -fno-exceptions -fno-rtti -Isrc -nostdinc++ -nostdinc
      -isystem "$gcc_dir/include/c++" -isystem "$gcc_dir/include/c++/i686-w64-mingw32"
      -isystem "$gcc_dir/include" -isystem /usr/i686-w64-mingw32/include
      -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0400 -DWINVER=0x0400)
mapfile -t glue < <(git ls-files 'src/*_win32.cpp')
for file in "${glue[@]}"; do
  clang-tidy --quiet "$file" -- "${args[@]}" 2>&1 | grep -v 'warnings generated' || true
  clang-tidy --quiet "$file" -- "${args[@]}" >/dev/null 2>&1 || status=1
done
exit $status
