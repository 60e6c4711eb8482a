#!/usr/bin/env bash
# How ctest runs a test program: under the Wine loader given first, with the
# program's output passed on through a file rather than straight into
# ctest's pipe. Every process Wine starts from a test inherits the Unix
# descriptors; Wine can strand a process whose parent was killed while
# creating it (one thread, never finishing its start, beyond the reach of
# TerminateProcess), and one holding the pipe would keep ctest waiting
# until the test's time-out. Such strays of the program's unpacking tool,
# older than a minute, are ended here too: they hold the tool's file.
#
#   wine_for_ctest.sh <wine loader> <test program> [arguments...]
loader=$1
shift
out=$(mktemp)
"$loader" "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
# Wine says nothing of its own failures with WINEDEBUG=-all.
[ -s "$out" ] || [ $status = 0 ] || echo "wine_for_ctest: $loader $1 ended with $status and printed nothing"
rm -f "$out"
ps -eo pid=,etimes=,args= 2>/dev/null | while read -r pid age args; do
  case $args in
    *'\7za.exe x '*) [ "$age" -gt 60 ] && kill -9 "$pid" 2>/dev/null ;;
  esac
done
exit $status
