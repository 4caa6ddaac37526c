#!/usr/bin/env bash
# What a review would otherwise catch by eye: every C and C++ source as
# .clang-format lays it out (Debian's clang-format), and every shell script
# clean by shellcheck. Fails on the first finding of either.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
ensure_packages clang-format shellcheck
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
shellcheck -x "${scripts[@]}"
echo "style: $(git ls-files '*.c' '*.cpp' '*.h' | wc -l) sources formatted, ${#scripts[@]} scripts clean"
