#!/usr/bin/env bash
# SIGTERM loses no power-off setup: it ends a long request line at its next command and
# writes the setup within seconds; it ends a client's autoscale as failed, which answers
# so, and the power-off setup is the one from before the autoscale, byte for byte; and a
# SIGTERM while a box of the start is open (the constants file cannot be read) leaves the
# power-off setup as it was, since the start has recalled none yet.
# Usage: close_keeps_setup.sh PROGRAM NORV-REMOTE
set -uo pipefail
program=$1
remote=$2

name=close_keeps_setup
source "$(dirname "$0")/hidden_program.sh"
setup="$work/home/Setup Files/~SetpPwrOffForDefault_Demo.set"

start_program
send "TB:ScaleA 50N" "Save:Setup:FileName Kept" "Save:Setup:Save" || fail "the setup was not saved"
# 50,000 recalls in one line: a minute or more, were it to run whole. Each path absolute:
# a relative "Save:..." after the first would reach the Save button of that node.
line=$(printf ':Save:Setup:Recall;%.0s' $(seq 1 50000))
"$remote" --pid "$pid" --timeout 300 <<<"${line%;}" >/dev/null 2>&1 &
client=$!
sleep 2
kill -0 "$client" 2>/dev/null || fail "the long line ended before the SIGTERM"
kill -TERM "$pid"
await_end 100
wait "$client"
grep -q '^TB:SCALEA 50 n(s/div)' "$setup" || fail "the power-off setup was not written at the close"

# An autoscale takes some seconds: the SIGTERM comes while it runs.
start_program
send "TB:ScaleA 50N" "CH1:Scale 50m" "Save:Setup:FileName Before" "Save:Setup:Save" ||
  fail "the setup before the autoscale was not saved"
"$remote" --pid "$pid" --timeout 60 "*Autoscale Auto" >"$work/answer" 2>&1 &
client=$!
sleep 1
kill -0 "$client" 2>/dev/null || fail "the autoscale ended before the SIGTERM"
kill -TERM "$pid"
await_end 100
wait "$client" && fail "the autoscale cut short by the close answered OK"
grep -qF "The program is closing" "$work/answer" || fail "the cut autoscale answered: $(cat "$work/answer")"
cmp -s "$setup" "$work/home/Setup Files/Before.set" ||
  fail "the power-off setup differs from the settings before the autoscale"

# The constants file cannot be read: the start shows its error, and the SIGTERM comes then.
cp "$setup" "$work/kept.set"
rm -f "$work/home/CalibrImit.ini"
mkdir "$work/home/CalibrImit.ini"
: >"$work/log"
"$program" Default_Demo >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
  grep -qF '[shown] [error] Cannot read the file' "$work/log" && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended at start"
  sleep 0.1
done
grep -qF '[shown] [error] Cannot read the file' "$work/log" || fail "no box about the constants file"
kill -TERM "$pid"
await_end 300
cmp -s "$setup" "$work/kept.set" || fail "the close during the start's box wrote over the power-off setup"
echo "close_keeps_setup: ok"
