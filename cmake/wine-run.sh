#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: usage wine-run.sh ARCH PREFIX PROGRAM [ARGS...]
# with ARCH x64 or x86. The prefix lives in the build folder and is made on first use. Wine's
# output goes through a file, because Wine's helper processes keep inheriting stdout and would
# hold ctest's pipe open.
#
# 64-bit programs always run with the 64-bit loader: Debian's `wine` script picks the 32-bit
# loader whenever wine32 is installed, and that loader cannot start at all on a kernel that
# refuses 32-bit programs. 32-bit programs need the 32-bit loader (see cmake/wine-env.sh).
#
# BREVANT_WINE_FRESH=1 starts from a new prefix and stops its server afterwards (a test that
# must not see what an earlier run left in the registry or on drive C).
set -u
arch=$1
prefix=$2
shift 2
here=$(dirname "$0")
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
if ! brevant_wine_select "$arch"; then
  echo "wine-run: $BREVANT_WINE_WHY" >&2
  exit 1
fi
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A Chinese system: the ANSI code page is 936, as for our users. (Passed through env so that
# this shell does not try to load the locale itself.)
locale=${BREVANT_WINE_LOCALE:-zh_CN.UTF-8}
unset DISPLAY

fresh=${BREVANT_WINE_FRESH:-0}
if [ "$fresh" = 1 ]; then
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
fi

if [ ! -f "$prefix/.brevant-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.brevant-ready" ]; then
      rm -rf "$prefix"
      env LC_ALL="$locale" "$WINELOADER" wineboot -i >/dev/null 2>&1
      # No display: the null graphics driver still lets windows be created.
      "$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      touch "$prefix/.brevant-ready"
    fi
  ) 9>"$prefix.lock"
fi

out=$(mktemp)
env LC_ALL="$locale" "$WINELOADER" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
if [ "$fresh" = 1 ]; then
  wineserver -k >/dev/null 2>&1 || true
fi
exit $rc
