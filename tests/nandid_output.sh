#!/bin/sh
# kzt_nandid's standard output: a write that fails (a full disk) is named on standard error and
# ends with status 3; a reader that went away ends it with status 3 and no message. SIGPIPE is
# ignored for the second case, as some callers do, so that the write fails with EPIPE instead of
# the signal ending the program.
#   sh tests/nandid_output.sh build/ci/src/kzt_nandid
nandid=$1
out=$("$nandid" --help 2>&1 >/dev/full; echo " status $?")
expected='kzt_nandid: standard output: No space left on device
 status 3'
[ "$out" = "$expected" ] || { echo "/dev/full: got \"$out\""; exit 1; }

trap '' PIPE
out=$({ { sleep 0.2; "$nandid" --help; echo " status $?" >&3; } | true; } 3>&1 2>&1)
[ "$out" = ' status 3' ] || { echo "closed pipe: got \"$out\""; exit 1; }
echo "kzt_nandid: full disk named, closed pipe quiet"
