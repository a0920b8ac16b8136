#!/usr/bin/env bash
# Fails when a tracked C++ file is not as clang-format would write it.
set -euo pipefail
clang_format=${1:-clang-format}
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | grep -v '^./build')
[ -n "$files" ] || exit 0
"$clang_format" --dry-run -Werror $files
