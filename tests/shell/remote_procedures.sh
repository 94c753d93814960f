#!/usr/bin/env bash
# Starts every procedure a remote client can start through norv-remote, against the real
# program running offscreen on the simulator with the generator, optics and pattern-trigger
# options, its window usable (a user could be there). Each procedure must end and answer by
# itself, and no box may open: neither while the command runs nor after it has answered.
# The program logs a box it shows as "[shown] [kind] text" and one kept from the screen as
# "[kind] text"; after every procedure the acquisition must still be running.
# Usage: remote_procedures.sh PROGRAM NORV-REMOTE
set -uo pipefail
program=$1
remote=$2

name=remote_procedures
source "$(dirname "$0")/hidden_program.sh"
mkdir -p "$work/home/Setup Files"
# The options are stored inverted: 255 - (2 pattern trigger + 4 generators + 8 optics).
cat >"$work/home/DemoUnits.ini" <<'END'
[Default Demo Instrument]
Block 1 ModelFlashCode=2
Block 1 OptionCode=241
Block 1 Year=12
Block 1 SerNo=77
END
# A user point with a wavelength, so that its gain can be calibrated.
cat >"$work/home/CalibrImit.ini" <<'END'
[Vexilor_Norv-Lxx.Calibr.OE]
UP1WLEN=1.31e-6
UP1Gain=100
END
# Pattern lengths the search tries; the simulated pattern has none of them.
printf '31\r\n63\r\n' >"$work/home/Setup Files/~PatternLentgth.lst"

start_program

expect() {
  local query=$1 wanted=$2 got
  got=$(send "$query") || fail "$query was refused"
  got=$(echo $got)  # without the blanks around a number
  [[ $got == "$wanted" ]] || fail "$query answered \"$got\", not \"$wanted\""
}
# The log since the last procedure began holds a line.
since=0
logged() { tail -n "+$((since + 1))" "$work/log" | grep -qF -- "$1" || fail "the log lacks \"$1\""; }
# No box so far, and the acquisition still runs: two reads of the data differ ("*Run?"
# tells the switch, not that records come).
no_box() {
  grep -q '^\[shown\]' "$work/log" && fail "a box opened during or after: $1"
  local first second
  first=$(send "Wfm:Data?") || fail "no data after: $1"
  for _ in $(seq 1 50); do
    second=$(send "Wfm:Data?") || fail "no data after: $1"
    [[ $second != "$first" ]] && return
    sleep 0.1
  done
  fail "the acquisition stands still after: $1"
}
# A procedure that answers when it has ended.
procedure() {
  local what=$1
  shift
  since=$(wc -l <"$work/log")
  send "$@" || fail "$what did not answer, or failed"
  no_box "$what"
}
# Waits until a query gives its answer (a procedure that goes on after its command).
await() {
  local query=$1 wanted=$2
  for _ in $(seq 1 300); do
    [[ $(send "$query") == "$wanted" ]] && return
    sleep 0.1
  done
  fail "$query did not become $wanted"
}

send "Header Off" "Wfm:Source Ch1" "Ch2:Display Off" || fail "the set-up was refused"

procedure "autoscale" "*Autoscale Auto"
procedure "time-base calibration" "FLASH:Calibr:AutocalTB"
expect "FLASH:Calibr:AutocalResult?" 0
procedure "channels calibration" "FLASH:Calibr:AutocalCh"
expect "FLASH:Calibr:AutocalResult?" 0
procedure "automask" "Automask:BuildAMask"

send "TDR:Mode TDR" "TDR:Ch1:Destination G1" "GSS:A:Waweform TDR" "TB:ScaleA 2n" || fail "TDR was refused"
amplitude=$(send "TDR:Ch1:RefAmpl?") || fail "TDR:Ch1:RefAmpl? was refused"
procedure "TDR channel calibration" "TDR:Ch1:DoVertCalibr"
logged "[information] Calibration complete!"
[[ $(send "TDR:Ch1:RefAmpl?") != "$amplitude" ]] || fail "the TDR channel calibration took no values"
procedure "correction" "TDR:Ch1:Normalize On"
expect "TDR:Ch1:Normalize?" ON
expect "F1:Operat?" NNN
# Nothing at the channel: the correction cannot run, and answers why.
send "TDR:Ch1:Normalize Off" "GSS:Ch1 Off" || fail "Ch1's source was refused"
answer=$(send "TDR:Ch1:Normalize On" 2>&1) && fail "a correction without a stimulus answered OK"
[[ $answer == *"There is no stimulus."* ]] || fail "a correction without a stimulus answered \"$answer\""
send "GSS:Ch1 A" || fail "Ch1's source was refused"
no_box "correction without a stimulus"
send "TDR:Ch1:Normalize Off" "TDR:Mode Off" "GSS:A:Waweform Sinewave" || fail "TDR off was refused"

send "OEConv:Dest Ch1" || fail "the converter's output was refused"
procedure "dark level" "FLASH:OECalibr:AutoDarkLvl"
logged "[information] Calibration complete!"
# The sine's light, on average half its amplitude, is taken for the set power: a gain.
procedure "gain" "FLASH:OECalibr:AutoCalGain"
logged "[information] Calibration complete!"
# The point's gain, as the user wavelength uses it: the runs that fail below keep it.
send "OEConv:WaveLen WLUserDef" || fail "the user wavelength was refused"
gain=$(send "Flash:OE:ConversionGain?") || fail "the gain was not answered"
# With next to no light the level is lost in the noise and the run fails by itself.
send "GSS:A:Amplitude 1M" || fail "the amplitude was refused"
# A run that fails answers so, with what the log tells.
since=$(wc -l <"$work/log")
answer=$(send "FLASH:OECalibr:AutoCalGain" 2>&1) && fail "gain without light answered OK"
[[ $answer == *"No steady light on the O/E CONVERTER"* ]] || fail "gain without light answered \"$answer\""
no_box "gain without light"
logged "[error] Calibration failed"
logged "No steady light on the O/E CONVERTER"
send "GSS:A:Amplitude 0.5" || fail "the amplitude was refused"
# Nothing at all at the channel: one value throughout, whatever level it reads.
send "GSS:Ch1 Off" || fail "Ch1's source was refused"
since=$(wc -l <"$work/log")
send "FLASH:OECalibr:AutoCalGain" 2>/dev/null && fail "gain without an input answered OK"
logged "No steady light on the O/E CONVERTER"
send "GSS:Ch1 A" || fail "Ch1's source was refused"
no_box "gain without an input"
expect "Flash:OE:ConversionGain?" "$(echo $gain)"
send "OEConv:WaveLen WL1" "OEConv:Dest OEConv" || fail "the converter's output was refused"

# These go on after their command has answered: their end is awaited.
send "GSS:A:Waweform PRBS" "GSS:A:PrbsLength 7" "GSS:Ch1 A" "Ch1:Display On" "TB:ScaleA 20n" ||
  fail "the pattern was refused"
procedure "pattern search" "Trig:PatternLockMode AutoDetect"
await "Trig:PatternLockMode?" OFF
logged "[information] Pattern not found"
no_box "pattern search"

send "Trig:PattLen 127" "Trig:PatternLockMode Manual" || fail "the pattern lock was refused"
procedure "jitter analysis" "Jitter:JitterOn On"
procedure "jitter analysis off" "Jitter:JitterOn Off"
send "Trig:PatternLockMode Off" "GSS:A:Waweform Sinewave" || fail "the lock was not dropped"

# A reference channel without a signal: refused when its 127 records are in.
send "GSS:Ch2 Off" || fail "Ch2's source was refused"
procedure "low-jitter reference" "Trig:LowJitter On"
await "Trig:LowJitter?" OFF
logged "[error] Low Jitter: no reference sine on Ch2"
no_box "low-jitter reference"

# Saves, loads and memory copies of a client are served before its command answers (between two
# records while the acquisition runs): what goes wrong is the answer, and goes to the
# log all the same. What the program does later for it (a counted run's saves) only logs.
waveforms="$work/home/Waveforms/Waveform Files"
acquisitions="$work/home/Waveforms/Acquisition Limit Files"
# Waits until the log since the last request holds a line.
told() {
  for _ in $(seq 1 100); do
    tail -n "+$((since + 1))" "$work/log" | grep -qF -- "$1" && return
    sleep 0.1
  done
  fail "the log lacks \"$1\""
}
served() {
  local what=$1 text=$2 answer
  shift 2
  since=$(wc -l <"$work/log")
  answer=$(send "$@" 2>&1) && fail "$what answered OK"
  [[ $answer == *"${text#"[error] "}"* ]] || fail "$what answered \"$answer\", not \"$text\""
  told "$text"
  no_box "$what"
}
send "Save:Disk:FileType Wfm" "Save:Disk:FileFormat Binary" "Save:Disk:NameMode Manual" ||
  fail "the save set-up was refused"
served "save of an absent memory" "[error] Signal is absent" \
  "Save:Disk:Source M3" "Save:Disk:FileName m3" "Save:Disk:Save"
mkdir -p "$waveforms/taken.wfm"
served "save onto a folder" "[error] Write Error to file \"$waveforms/taken.wfm\"" \
  "Save:Disk:Source Ch1" "Save:Disk:FileName taken" "Save:Disk:Save"
long=$(printf 'n%.0s' $(seq 1 253))
# A name too long for the system is refused when it is given, before any file work.
since=$(wc -l <"$work/log")
refusal=$(send "Save:Disk:FileName $long" 2>&1) && fail "a name too long for the system was taken"
[[ $refusal == *"File name too long: nnnn"*"..." && ${#refusal} -lt 200 ]] ||
  fail "a name too long was not refused as such: $refusal"
no_box "save under too long a name"
served "load of a missing file" "[error] File \"$waveforms/nothere.wfm\" does not exist!" \
  "Save:Disk:FileName nothere" "Save:Disk:Load"
printf 'no waveform' >"$waveforms/bad.wfm"
served "load of a damaged file" "[error] File \"$waveforms/bad.wfm\" damaged!" \
  "Save:Disk:FileName bad" "Save:Disk:Load"
rm -f "$work/home/~memzona.no1"
mkdir "$work/home/~memzona.no1"
served "memory copy" "[error] Write Error to file \"$work/home/~memzona.no1\"" \
  "Save:Memo:Source Ch1" "Save:Memo:ToMemo M1" "Save:Memo:Save"
# A counted run saves each record: below a file here, where no folder can be made.
mkdir -p "$acquisitions"
touch "$acquisitions/blocked"
since=$(wc -l <"$work/log")
send "Acq:RunUntil NAcq" "Acq:NAcq 1" "Acq:FileName blocked/auto" "Acq:React Save" "*Run" ||
  fail "the counted run was refused"
told "[error] Write Error to file \"$acquisitions/blocked/auto_"
send "Acq:RunUntil StopBtn" "*Run" || fail "the run was refused"
no_box "counted run with saves"

# A setup a client recalls sets a setting whose change starts a procedure or asks a question
# without it: no box, nothing started (the probe keeps its answer), and the one warning names
# the setting. From a setup file, the default setup, and the redo of such a recall. Each row:
# the setup's lines (the last one's setting starts the procedure) | a query the procedure
# would change.
heldback="[warning] These settings were recalled without starting their procedures:"
rows=(
  "Trig:PatternLockMode AutoDetect|TB:Mode?"
  "Trig:LowJitter On|Ch1:Display?"
  "OEConv:Dest Ch1|"
  "Trig:PatternLockMode Manual;Jitter:JitterOn On|"
  "TDR:Mode TDR;TDR:Ch1:Destination G1;TDR:Ch1:Normalize On|F1:Display?"
)
default_setup="$work/home/Setup Files/~SetpDefaultForDefault_Demo.set"
# Nothing but the warning since the last recall, which names the setting when it has it;
# the probe as before.
held_back() {
  local what=$1 line=$2 probe=$3 before=$4 named=$5
  if [[ -n $named ]]; then
    logged "$heldback"
    logged "$line"
  fi
  tail -n "+$((since + 1))" "$work/log" | grep -E '^\[(shown|information|error|confirmation)\]' &&
    fail "$what told more than the warning"
  [[ -z $probe || $(send "$probe") == "$before" ]] || fail "$what started its procedure ($probe)"
  no_box "$what"
}
send "Save:Setup:FileName recalled" || fail "the setup's name was refused"
for row in "${rows[@]}"; do
  IFS=';' read -r -a lines <<<"${row%%|*}"
  probe=${row#*|}
  last=${lines[-1]^^}
  for recall in "Save:Setup:Recall" "*DefSetup Default"; do
    send "Save:Setup:RecFact" || fail "the factory setup was refused"
    before=
    [[ -n $probe ]] && before=$(send "$probe")
    file="$work/home/Setup Files/recalled.set"
    [[ $recall == "*DefSetup Default" ]] && file=$default_setup
    printf '%s\n' "${lines[@]}" >"$file"
    since=$(wc -l <"$work/log")
    send "$recall" || fail "$recall of \"$last\" was refused"
    held_back "$recall of \"$last\"" "$last" "$probe" "$before" named
  done
  send "*Undo" || fail "the undo was refused"
  since=$(wc -l <"$work/log")
  send "*Undo Redo" || fail "the redo was refused"
  # The redo gives back what the recall left: a setting it could not keep is not named.
  kept=
  [[ $(echo $(send "${last%% *}?")) == "${last##* }" ]] && kept=named
  held_back "redo of \"$last\"" "$last" "$probe" "$before" "$kept"
done
send "Save:Setup:RecFact" || fail "the factory setup was refused"

stop_program
echo "remote_procedures: ok"
