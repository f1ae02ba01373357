#!/usr/bin/env bash
# Runs a Windows program of the build under Wine; CTest's emulator.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec "$WINE" "$@"
