#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/ and
# runs the test suite there. Any sanitizer report fails the run. Leaks inside the desktop libraries that the
# window tests load (fontconfig, pango, GTK, GLib, D-Bus, expat) are suppressed by scripts/lsan.supp; a leak
# in our own code still fails.
#
#   scripts/sanitize.sh               the whole suite (build-sanitize/)
#   scripts/sanitize.sh --engine      the tests without a window, built without the window code
#                                     (build-sanitize-engine/)
#   scripts/sanitize.sh -R Name       other arguments are passed on to ctest
#
# BRINDLEMOOR_SANITIZE_JOBS sets the build and test parallelism (default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${BRINDLEMOOR_SANITIZE_JOBS:-$(nproc)}
gui=ON
build=$root/build-sanitize
if [ "${1:-}" = "--engine" ]; then
  shift
  gui=OFF
  build=$root/build-sanitize-engine
  set -- -LE gui "$@"
fi

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLEMOOR_SANITIZE=ON -DBRINDLEMOOR_BENCH=OFF \
  -DBRINDLEMOOR_GUI="$gui" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
# GLib's own allocator caches and type registry live for the whole process; let the sanitizer see plain mallocs.
export G_SLICE=always-malloc G_DEBUG=gc-friendly

cd "$build"
if [ "$gui" = ON ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs" "$@"
fi
exec ctest --output-on-failure -j "$jobs" "$@"
