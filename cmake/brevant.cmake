# Shared build settings: warnings as errors on every compiler, sanitizers, Windows runtime.

function(brevant_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

if(BREVANT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(BREVANT_FUZZ)
  # Everything is instrumented for coverage; only the fuzz programs get libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Static runtime: the DLL and the test programs must load on a bare Windows (and Wine).
  add_link_options(-static-libgcc -static-libstdc++ -static)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 UNICODE _UNICODE)
endif()

# Windows programs run under Wine through this wrapper (see cmake/wine-run.sh).
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(BREVANT_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${BREVANT_WINE_RUN};${BREVANT_WINE_ARCH};${CMAKE_BINARY_DIR}/wineprefix")
endif()
