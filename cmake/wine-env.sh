# Sourced by the Wine runner and the test script: picks the Wine loader for one architecture.
#   brevant_wine_select x64|x86   sets and exports WINELOADER, or returns 1 with the reason in
#                                 BREVANT_WINE_WHY.
brevant_wine_select() {
  local loader
  case $1 in
    x64) loader=/usr/lib/wine/wine64 ;;
    x86) loader=/usr/lib/wine/wine ;;
    *)
      BREVANT_WINE_WHY="unknown architecture '$1'"
      return 1
      ;;
  esac
  if [ ! -x "$loader" ]; then
    BREVANT_WINE_WHY="$loader is missing (the ${1} Wine package is not installed)"
    return 1
  fi
  # The loader itself is the program the kernel must accept: a kernel without 32-bit support
  # refuses the 32-bit one with "Exec format error".
  local err
  if ! err=$("$loader" --version 2>&1 >/dev/null); then
    BREVANT_WINE_WHY="this machine cannot run $loader: ${err:-exit status $?}"
    return 1
  fi
  export WINELOADER=$loader
  return 0
}
