#!/bin/bash
# Records the traces of the benchmark programs, of every golden case's program and of the
# examples, and the standard output of every golden case, into the folder given:
#   bench/trace_all.sh BUILD_DIR OUT_DIR
# Run it before and after an interpreter change and diff -r the two folders.
set -u
build=$(cd "$1" && pwd) out=$2
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
"$build/bench/trace_programs" > "$out/bench_programs.trace"
progs=()
for f in "$src"/tests/golden/*/program.awl "$src"/examples/*.awl "$src"/bench/*.awl; do
  [ -f "$f" ] && progs+=("$f")
done
( cd "$src" && "$build/bench/trace_programs" "${progs[@]#$src/}" ) > "$out/programs.trace"
for case in "$src"/tests/golden/*/; do
  name=$(basename "$case")
  args=()
  while IFS= read -r a || [ -n "$a" ]; do
    a=${a//PROGRAM/program.awl}; a=${a//CASEDIR/$case}; a=${a//EXAMPLES/$src/examples}
    args+=("$a")
  done < "$case/args"
  ( cd "$case" && "$build/korvane-run" "${args[@]}" > "$out/golden.$name.out" 2>/dev/null; echo "exit $?" >> "$out/golden.$name.out" )
done
