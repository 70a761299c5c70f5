#!/bin/sh
# The run command: installs what is missing, builds, and starts the console.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
exec build/app/norda-console "$@"
