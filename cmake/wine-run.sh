#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: usage wine-run.sh PREFIX PROGRAM [ARGS...].
# The prefix lives in the build folder and is made on first use. Wine's output goes through a
# file, because Wine's helper processes keep inheriting stdout and would hold ctest's pipe open.
set -u
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# A Chinese system: the ANSI code page is 936, as for our users. (Passed through env so that
# this shell does not try to load the locale itself.)
locale=${BREVANT_WINE_LOCALE:-zh_CN.UTF-8}
unset DISPLAY

if [ ! -f "$prefix/.brevant-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.brevant-ready" ]; then
      rm -rf "$prefix"
      env LC_ALL="$locale" wineboot -i >/dev/null 2>&1
      # No display: the null graphics driver still lets windows be created.
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      touch "$prefix/.brevant-ready"
    fi
  ) 9>"$prefix.lock"
fi

out=$(mktemp)
env LC_ALL="$locale" wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
