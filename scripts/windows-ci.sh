#!/usr/bin/env bash
# The Windows part of CI: cross-builds the project for 64-bit Windows and runs its tests
# under Wine, then cross-builds the driver-library back end and its tests for 32-bit Windows
# (the build that can load the card's 32-bit driver library).
# Needs the packages scripts/setup.sh installs with MORVAND_SETUP_WINDOWS=1.
# Build directories: build/win64, build/win32 (MORVAND_WINDOWS_BUILD overrides "build").
set -euo pipefail
cd "$(dirname "$0")/.."
root=${MORVAND_WINDOWS_BUILD:-build}
jobs=${MORVAND_JOBS:-2}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
started=$SECONDS

configure() {  # build-dir toolchain
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS=-O1 -DMORVAND_BUILD_BENCH=OFF "${launcher[@]}" >"$1.configure.log" ||
    { cat "$1.configure.log"; exit 1; }
}

# 64-bit: the library, the simulator, the back ends and the console, with the tests of what
# differs on Windows (settings files, threads, the card layer, the driver contract, the
# driver library, the console); MORVAND_WINDOWS_ALL=1 builds and runs every test program.
mkdir -p "$root"
configure "$root/win64" mingw-w64-x86_64
if [ "${MORVAND_WINDOWS_ALL:-0}" = 1 ]; then
  cmake --build "$root/win64" -j"$jobs"
  selected=()
else
  cmake --build "$root/win64" -j"$jobs" --target morvand_cli morvand_c test_controller test_thread \
    test_card test_contract test_driverlib test_console
  selected=(-R '^(test_controller|test_thread|test_card|EveryDriver/|test_driverlib|test_console|console\.)')
fi
export WINEPREFIX="$PWD/$root/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
"$wine" cmd /c exit >/dev/null 2>&1 || true  # creates the prefix once, before the timed tests
ctest --test-dir "$root/win64" --output-on-failure -j"$jobs" "${selected[@]}"
echo "windows-ci: 64-bit build and tests under Wine took $((SECONDS - started)) s"

# 32-bit: the driver-library back end, its stand-in and its test program. Wine here has no
# 32-bit half (Debian's wine32 is not installed), so the 32-bit programs are built only.
configure "$root/win32" mingw-w64-i686
cmake --build "$root/win32" -j"$jobs" --target morvand_backends test_driverlib
echo "windows-ci: all Windows steps took $((SECONDS - started)) s"
