# Shared by the bench scripts: a throw-away work folder and the processes started there, all
# gone on exit. Source it, then `bench_workdir NAME`: sets WORK, and PIDS for the processes the
# script starts (each one appended).
bench_workdir() {
  WORK=$(mktemp -d "/tmp/zorvane-$1.XXXXXX")
  PIDS=()
  trap bench_cleanup EXIT
  trap 'exit 130' INT TERM
}

bench_cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$WORK"
}
