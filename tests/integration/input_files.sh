#!/usr/bin/env bash
# korvane-run refuses input files it cannot take, quickly and with a message that says why
# (standard error, exit status 2): endless devices and pipes are read no further than their
# loader's bound, over-size files are refused by their size, binary files as not text, and a
# rack file whose modules the rack rules refuse with the window's message.
#   tests/integration/input_files.sh KORVANE_RUN EXAMPLES_DIR
set -u
runner=${1:?usage: input_files.sh KORVANE_RUN EXAMPLES_DIR}
examples=${2:?usage: input_files.sh KORVANE_RUN EXAMPLES_DIR}
prog="$examples/motor_start_stop.awl"
dir=$(mktemp -d)
writer=""
cleanup() {
  [ -n "$writer" ] && kill "$writer" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

# Inputs. Over-size files are sparse: their size is known without writing it.
truncate -s $((64 * 1024 * 1024 + 1)) "$dir/huge.awl"
truncate -s $((16 * 1024 * 1024 + 1)) "$dir/huge_table.txt"
mkdir "$dir/folder.awl"
head -c 7M /dev/urandom >"$dir/random.awl"
{ echo "ORGANIZATION_BLOCK MAIN:OB1"; echo BEGIN; for ((i = 0; i < 32768; i++)); do echo "NOP 0"; done
  echo END_ORGANIZATION_BLOCK; } >"$dir/long.awl"
printf '4 0 3 0 0 0 0 0\r\n' >"$dir/gap.hd"
printf '0 1 0 0 0 0 0 0\r\n' >"$dir/cpu221.hd"
mkfifo "$dir/endless.awl"

fail=0
# check NAME SECONDS EXPECTED-STDERR-TEXT -- korvane-run arguments
check() {
  local name=$1 limit=$2 want=$3
  shift 4
  local start end status
  start=$(date +%s%N)
  timeout 60 "$runner" "$@" >"$dir/out" 2>"$dir/err"
  status=$?
  end=$(date +%s%N)
  local ms=$(((end - start) / 1000000))
  if [ "$status" -ne 2 ]; then
    echo "FAIL $name: exit status $status, expected 2"; fail=1
  elif ! grep -qF -- "$want" "$dir/err"; then
    echo "FAIL $name: standard error lacks '$want':"; cat "$dir/err"; fail=1
  elif [ "$ms" -gt $((limit * 1000)) ]; then
    echo "FAIL $name: took $ms ms, more than $limit s"; fail=1
  else
    echo "ok $name ($ms ms)"
  fi
}

check program_dev_zero 20 "'/dev/zero' is larger than 64 MiB, the most a program file may hold" -- /dev/zero
check program_sparse 5 "huge.awl' is larger than 64 MiB, the most a program file may hold" -- "$dir/huge.awl"
check program_folder 5 "folder.awl' is a folder, not a program file" -- "$dir/folder.awl"
check program_lines 20 "long.awl' has more than 32767 program lines, the most a program may have" -- "$dir/long.awl"
check program_random 10 "random.awl' is not a text file" -- "$dir/random.awl"
# An endless writer into a pipe: read up to the bound, then refused.
(yes "NOP 0" >"$dir/endless.awl" 2>/dev/null) &
writer=$!
check program_fifo 20 "endless.awl' is larger than 64 MiB" -- "$dir/endless.awl"
kill "$writer" 2>/dev/null; wait "$writer" 2>/dev/null; writer=""
check script_dev_zero 20 "script '/dev/zero' is larger than 16 MiB, the most that is read" -- "$prog" --script /dev/zero
check table_sparse 5 "status table '$dir/huge_table.txt' is larger than 16 MiB" -- "$prog" --table "$dir/huge_table.txt"
check table_dev_zero 20 "'/dev/zero' is not a status table, or longer than 16 MiB" -- "$prog" --table /dev/zero
check symbols_dev_zero 20 "or longer than 4 MiB" -- "$prog" --symbols /dev/zero
check db_dev_zero 20 "'/dev/zero' is not a data block (more than 101 lines, or longer than 1 MiB)" -- "$prog" --db /dev/zero
check db_folder 5 "data block '$dir' is a folder, not a file" -- "$prog" --db "$dir"
check hw_dev_zero 20 "or longer than 64 KiB" -- "$prog" --hw /dev/zero
check hw_gap 5 "前面的位置没有模块，不能在这里增加模块" -- "$prog" --hw "$dir/gap.hd"
check hw_cpu221 5 "该CPU没有这个扩展位置，不能在这里增加模块" -- "$prog" --hw "$dir/cpu221.hd"

# A program through a pipe is read once: --lad draws it as it draws the file.
mkfifo "$dir/piped.awl"
(cat "$prog" >"$dir/piped.awl") &
writer=$!
timeout 60 "$runner" --lad "$dir/piped.awl" >"$dir/lad_piped" 2>"$dir/err"
status=$?
wait "$writer" 2>/dev/null; writer=""
"$runner" --lad "$prog" >"$dir/lad_file" 2>/dev/null
if [ "$status" -ne 0 ] || [ ! -s "$dir/lad_file" ] || ! cmp -s "$dir/lad_file" "$dir/lad_piped"; then
  echo "FAIL lad_fifo: exit status $status, ladder differs from the file's:"; cat "$dir/err"; fail=1
else
  echo "ok lad_fifo"
fi
exit $fail
