#!/usr/bin/env bash
# Runs the test suite under the sanitizers:
#   build-asan  AddressSanitizer + UndefinedBehaviorSanitizer, whole suite
#               (the soak test aside: it has its own Release run and the
#               valgrind check; so is the packaging test; the GStreamer
#               plugin runs in its pipeline tests, not under gst-launch-1.0,
#               gst-inspect-1.0 or the plugin scanner, which are not built
#               with the sanitizers and cannot load it);
#   build-tsan  ThreadSanitizer, the video reader tests (the only code that
#               runs on a thread of its own).
# Any report fails the run. Usage: scripts/test-sanitizers.sh [asan] [tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan tsan)

# Reports stop the program at once; leaks are checked at every exit.
# Only frames inside system libraries are suppressed (see the files).
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_invalid_pointer_pairs=0"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/scripts/sanitizers/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/sanitizers/tsan.supp"

run_asan() {
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
  # The Python package stays out: an interpreter without the sanitizer
  # runtime cannot load a sanitized extension.
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUEXAL_SANITIZE=address,undefined -DQUEXAL_BUILD_BENCH=OFF \
        -DQUEXAL_BUILD_PYTHON=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
  # install_and_consume builds a program without the sanitizer runtime
  # against the sanitized library, which cannot load; it checks packaging,
  # which the Release suite covers. So do the gst.recipe_, gst.inspect_ and
  # gst.installed_ tests, whose GStreamer tools cannot load the plugin.
  # cli_show runs the window system's toolkit, whose process-lifetime
  # allocations are no leaks of ours.
  # The plugin tests scan plugins in their own process; one run first
  # writes the registry, without the leak check, as GLib keeps memory
  # from that scan.
  export GST_REGISTRY_FORK=no
  if [ -x build-asan/quexal_gst_tests ]; then
    ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" build-asan/quexal_gst_tests \
      --gtest_filter=GstElements.MissingDataFolderIsABusError >/dev/null
  fi
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --no-tests=error -LE soak \
        -E '^(install_and_consume|cli_show|gst\.(recipe_.*|inspect_.*|installed_plugin))$'
}

run_tsan() {
  echo "== ThreadSanitizer: video reader, session thread, face detection thread and split overlay turn tests"
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUEXAL_SANITIZE=thread \
        -DQUEXAL_BUILD_BENCH=OFF -DQUEXAL_BUILD_TOOLS=OFF -DQUEXAL_BUILD_SOAK=OFF \
        -DQUEXAL_BUILD_PYTHON=OFF \
        -DQUEXAL_BUILD_GST=OFF >/dev/null
  cmake --build build-tsan -j"$jobs" --target quexal_tests
  # Once the reader's source exists its tests must exist too; before that
  # an empty selection is allowed.
  local none=ignore
  if compgen -G "src/background/video/*.cpp" >/dev/null; then none=error; fi
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure -R 'VideoReader|SessionThreads|AsyncDetectOption|FastScansSideBySide|TurnedOverlay|TurnEqualsWarpAffine' --no-tests="$none"
}

for stage in "${stages[@]}"; do
  case "$stage" in
    asan) run_asan ;;
    tsan) run_tsan ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
done
