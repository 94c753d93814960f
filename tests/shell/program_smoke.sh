#!/usr/bin/env bash
# Runs the real program offscreen on the simulator for a few seconds, drives it with
# norv-remote (time base, run, waveform data, stop), ends it with SIGTERM while a client is
# connected and checks that it closed through its close query: exit status 0, the
# power-off setup written, even with changed constants that could not be stored, and no
# exception reported. Then a SIGTERM during the start, which must end it too.
# Usage: program_smoke.sh PROGRAM NORV-REMOTE
set -uo pipefail
program=$1
remote=$2

name=program_smoke
source "$(dirname "$0")/hidden_program.sh"
start_program

send "Header Off" "TB:ScaleA 20N" "*Run" || fail "the settings were refused"
[[ $(send "TB:ScaleA?") == "20 ns/div" ]] || fail "the time base did not take 20 ns/div"
sleep 2
data=$(send "Wfm:Source Ch1" "Wfm:Data?") || fail "no waveform data"
points=$(tr ',' '\n' <<<"$data" | grep -cE '^ *-?[0-9]')
((points == 512)) || fail "Wfm:Data? gave $points points, not 512"
# Autoscale for a client of a hidden program: the command returns when it has ended.
send "Gui Invisible" "Ch2:Display Off" "Ch1:Scale 2M" || fail "the autoscale set-up was refused"
"$remote" --pid "$pid" --timeout 120 "*Autoscale Auto" || fail "the autoscale failed"
[[ $(send "TB:Mode?") == "B" ]] || fail "the autoscale left the time base in mode $(send "TB:Mode?")"
[[ $(send "Ch1:Scale?") == "2 mV/div" ]] && fail "the autoscale left Ch1 at 2 mV/div"
send "Gui RemoteLocal" "TB:Mode A" "TB:ScaleA 20N" || fail "the settings after the autoscale were refused"
send "*StopSingle Stop" || fail "the stop was refused"
send "*Undo Redoo" 2>/dev/null && fail "an unknown item of *Undo was accepted"
# A relative path that goes on past a button reaches it with a parameter: refused, and the
# kept setup is neither recalled nor saved over.
kept="$work/home/Setup Files/Keep.set"
send "TB:ScaleA 50N" "Save:Setup:FileName Keep" "Save:Setup:Save" "TB:ScaleA 20N" || fail "the kept setup was refused"
cp "$kept" "$work/kept.set" || fail "no Keep.set"
send "Save:Setup:FileName Keep;Save:Setup:Recall" 2>/dev/null && fail "a recall reached through \"Save\" was accepted"
cmp -s "$kept" "$work/kept.set" || fail "a line going on past Save:Setup:Save saved over Keep.set"
[[ $(send "TB:ScaleA?") == "20 ns/div" ]] || fail "a refused line recalled a setup"
# The error names the start of an unknown item: 1 MB sent does not come back.
answer=$(printf '*Undo %s\n' "$(head -c 1000000 /dev/zero | tr '\0' A)" | send 2>&1) && fail "an unknown item of 1 MB was accepted"
((${#answer} < 1000)) || fail "an unknown item of 1 MB was answered with ${#answer} bytes"
# A command that fails answers with its error, not OK: a power-off setup before the first
# close, a default setup that cannot be read.
answer=$(send "*DefSetup PowerOff" 2>&1) && fail "a recall of the missing power-off setup answered OK"
grep -qF "No power-off setup has been saved yet" <<<"$answer" || fail "the missing power-off setup: $answer"
default="$work/home/Setup Files/~SetpDefaultForDefault_Demo.set"
mv "$default" "$work/default.set" || fail "no default setup was written at the first start"
mkdir "$default"
answer=$(send "*DefSetup Default" 2>&1) && fail "a recall of an unreadable default setup answered OK"
grep -qF "ERROR Opening File" <<<"$answer" || fail "the unreadable default setup: $answer"
rmdir "$default" && mv "$work/default.set" "$default"
# A changed constant whose file cannot be written (a folder stands in its place): nobody can
# answer at a SIGTERM, so the close goes on and the log tells what was lost.
rm -f "$work/home/CalibrImit.ini"
mkdir "$work/home/CalibrImit.ini"
send "FLASH:Calibr:FineTB 20000" || fail "the constant was refused"
send "FLASH:Calibr:StoreAll" 2>/dev/null && fail "a store of the constants into a folder answered OK"

# A client stays connected, waiting for its next line: the SIGTERM closes the program all
# the same, and ends the connection.
mkfifo "$work/lines"
"$remote" --pid "$pid" --timeout 60 <"$work/lines" >"$work/client" 2>&1 &
client=$!
exec 3>"$work/lines"
echo "TB:ScaleA?" >&3
for _ in $(seq 1 100); do
  [[ -s $work/client ]] && break
  sleep 0.1
done
[[ $(cat "$work/client") == "20 ns/div" ]] || fail "the waiting client got \"$(cat "$work/client")\""
stop_program
exec 3>&-
wait "$client"
grep -q "It has appeared an Exception" "$work/log" && fail "the close reported an exception"
grep -qF "[error] The constants could not be stored" "$work/log" || fail "the log does not tell of the lost constants"

setup="$work/home/Setup Files/~SetpPwrOffForDefault_Demo.set"
[[ -f $setup ]] || fail "no power-off setup"
grep -q '^TB:SCALEA 20 n(s/div)' "$setup" || fail "the power-off setup lacks the time base"
ls -a "$work/home/Setup Files" | grep -q '\.tmp$' && fail "a temporary setup file was left"

# A SIGTERM while the program still starts is kept: here the start waits on its question
# about an instrument that does not answer (nothing at USB). The program must end by
# itself, with status 0, and write no power-off setup, since it has loaded none.
rm -f "$work/log"
"$program" Default_USB >"$work/log" 2>&1 &
pid=$!
# Sent once the program catches it (before, it would simply end the program).
for _ in $(seq 1 300); do
  caught=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
  [[ -n $caught ]] && (((16#$caught >> (15 - 1)) & 1)) && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended at start"
  sleep 0.1
done
stop_program
ls "$work/home/Setup Files" | grep -qi 'usb' && fail "a power-off setup was written by a close at start"
ls "$work/runtime" | grep -q '\.sock$' && fail "the remote socket was left"
echo "program_smoke: ok"
