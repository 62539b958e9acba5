#!/usr/bin/env bash
# Checks of the quexal program that need more than one run of it: a second
# process, a display or an installation.
# Usage: host_checks.sh CASE QUEXAL SAMPLE SCRATCH [BUILD_DIR]
#   interrupt   Ctrl-C on a file input: exit 130, the output closed and readable
#   quiet       a damaged video or picture gives no decoder chatter on stderr
#   show        --show puts the frame in a window (under Xvfb; skipped without it)
#   installed   the installed host runs without LD_LIBRARY_PATH, from its own data
# Exit 77 means skipped.
set -euo pipefail
case_name=$1 exe=$2 sample=$3 scratch=$4 build=${5:-}
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

# Starts quexal in the background with SIGINT at its default (job control
# gives the job its own process group), waits until FILE has grown, and
# leaves the pid in $pid.
start_and_wait_for() {
  local file=$1; shift
  set -m
  "$exe" "$@" &
  pid=$!
  set +m
  for _ in $(seq 100); do
    [ -s "$file" ] && [ "$(stat -c %s "$file")" -gt 20000 ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "quexal ended early"
    sleep 0.1
  done
  kill -KILL "$pid"
  fail "$file did not grow"
}

case $case_name in
interrupt)
  start_and_wait_for out.avi run fire "$sample" out.avi --frames 1000000 --quiet
  kill -INT "$pid"
  rc=0; wait "$pid" || rc=$?
  [ "$rc" -eq 130 ] || fail "exit $rc after Ctrl-C on a file, expected 130"
  # A video closed properly ends with its index.
  grep -q idx1 out.avi || fail "out.avi was not closed (no index)"
  "$exe" run colour:grey out.avi check.png --quiet || fail "out.avi cannot be read back"
  ;;
quiet)
  "$exe" run fire "$sample" clip.avi --frames 30 --quiet
  cp clip.avi damaged.avi
  printf '%020000d' 0 | tr 0 x | dd of=damaged.avi bs=1 seek=15000 conv=notrunc status=none
  # The damage must be something FFmpeg complains about when asked to.
  loud=$(OPENCV_FFMPEG_LOGLEVEL=16 "$exe" run colour:grey damaged.avi out.avi --quiet 2>&1 || true)
  [ -n "$loud" ] || fail "the damaged clip provokes no decoder message; the check proves nothing"
  quiet=$("$exe" run colour:grey damaged.avi out.avi --quiet 2>&1 || true)
  [ -z "$quiet" ] || fail "decoder messages were printed: $(echo "$quiet" | head -3)"
  # A picture cut short: libpng and OpenCV would each have their say.
  head -c 3000 "$sample" > cut.png
  err=$("$exe" run colour:grey cut.png out.png 2>&1) && fail "a damaged picture was read"
  [ "$err" = "quexal: cannot read cut.png: not a picture that can be decoded" ] || fail "unexpected output: $err"
  ;;
show)
  command -v Xvfb >/dev/null || skip "Xvfb is not installed"
  command -v import >/dev/null || skip "ImageMagick is not installed"
  # A black screen with nothing else on it: the window sits at the top left.
  Xvfb -displayfd 5 -screen 0 800x600x24 -br -nolisten tcp 5>display 2>xvfb.log &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -s display ] && break; sleep 0.1; done
  [ -s display ] || fail "Xvfb did not start: $(cat xvfb.log)"
  export DISPLAY=":$(cat display)" XDG_RUNTIME_DIR="$scratch/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  # colour:grey is exact, so the window must show the written frame itself.
  "$exe" run colour:grey "$sample" expected.png --quiet
  set -m
  "$exe" run colour:grey "$sample" out.avi --frames 1000000 --show --quiet &
  pid=$!
  set +m
  sleep 3
  import -window root screen.png
  kill -INT "$pid"
  rc=0; wait "$pid" || rc=$?
  [ "$rc" -eq 130 ] || fail "exit $rc"
  size=$(identify -format %wx%h expected.png)
  convert screen.png -crop "$size+0+0" +repage window.png
  differing=$(compare -metric AE window.png expected.png null: 2>&1 || true)
  [ "$differing" = 0 ] || fail "the window does not show the frame ($differing pixels differ)"
  ;;
installed)
  prefix=$scratch/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null
  unset LD_LIBRARY_PATH
  "$prefix/bin/quexal" run colour:grey "$sample" grey.png --quiet || fail "the installed host does not run"
  # Without its own data the installed host must not fall back on the build
  # folder it came from.
  rm -rf "$prefix/share/quexal/QXdata"
  err=$("$prefix/bin/quexal" run colour:grey "$sample" grey2.png --quiet 2>&1) && fail "ran without its data"
  [[ $err == *"no QXdata"* ]] || fail "unexpected error: $err"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "ok: $case_name"
