#!/usr/bin/env bash
# The page tier: both companion pages in Debian's Chromium, driven by playwright-core under
# node's test runner. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")"

npm ci --no-audit --no-fund --loglevel=error
mkdir -p artifacts

# Chromium's profile, caches and crash dumps go to a folder of our own, removed afterwards.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/brevant-page.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export HOME=$scratch/home
export XDG_CONFIG_HOME=$scratch/config
export XDG_CACHE_HOME=$scratch/cache
export XDG_DATA_HOME=$scratch/data
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

node --test --test-reporter=tap ./*.test.js
