#!/bin/sh
# Fails when a C++ file of the repository is not formatted as .clang-format says.
set -eu
cd "$(dirname "$0")/.."
# shellcheck disable=SC2046
clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h')
