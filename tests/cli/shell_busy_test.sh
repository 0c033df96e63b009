#!/usr/bin/env bash
# The shell at a terminal (tmux) while an operation runs on the controller thread: a run
# started from the prompt is stopped by LaserStop typed while it fires, other commands are
# refused as busy, a property can be read meanwhile, and a question of the operation is
# answered at the terminal.
# Usage: shell_busy_test.sh MORVAND CASE
set -u
MORVAND=$1
CASE=$2
WORK=$(mktemp -d)
SESSION="busy"
t() { tmux -L "morvand-busy-$$" "$@"; }
export HOME=$WORK  # the shell's history file goes here
cleanup() { t kill-server 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

"$MORVAND" --dir "$WORK" init --model LM-10 --gas KrF >/dev/null || { echo "FAIL: init"; exit 1; }

screen() { t capture-pane -p -J -S -200 -t "$SESSION" 2>&1; }
fail() { echo "FAIL: $*"; echo "--- screen"; screen; exit 1; }
# wait_for TEXT: the screen shows TEXT within 20 s of wall time.
wait_for() {
  local deadline=$((SECONDS + 20))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.05
  done
  fail "the screen never showed: $1"
}
# wait_prompt: the shell waits for a command again (its prompt is the last line shown).
wait_prompt() {
  local deadline=$((SECONDS + 20))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(screen | grep -v '^ *$' | tail -n1 | sed 's/ *$//')" = "morvand>" ] && return 0
    sleep 0.05
  done
  fail "the shell never came back to its prompt"
}
type_line() { t send-keys -t "$SESSION" -l "$1"; t send-keys -t "$SESSION" Enter; }
start_shell() {
  t new-session -d -s "$SESSION" -x 200 -y 50 \
    "$MORVAND --speed $1 --dir $WORK shell; echo SHELL-EXITED-\$?; sleep 30"
  wait_for "morvand>"
}

case "$CASE" in
  stop_while_running)
    # A paced laser: 100 Hz for up to a million pulses would fire for hours of its time.
    start_shell 20
    type_line "RepRate = 100"
    wait_for "RepRate = 100"
    type_line "MaxNum = 1000000"
    wait_for "MaxNum = 1000000"
    type_line "LaserRun 0"
    wait_for "Laser Running"
    # Anything but a stop or a read waits for the run's end: refused, and not done.
    type_line "RepRate = 5"
    wait_for "busy: LaserRun is running"
    type_line "PulseNum"
    wait_for "PulseNum = "
    # A pause and a restart with their argument, then the stop.
    type_line "LaserPause False"
    wait_for "Laser Standby"
    type_line "LaserRestart False"
    type_line "LaserStop"
    wait_for "Laser Operation Stopped"
    wait_prompt
    type_line "RepRate"
    wait_for "RepRate = 100"
    type_line "expect PulseNum < 1000000"
    wait_for "ok: PulseNum = "
    pulses=$(screen | sed -n 's/^ok: PulseNum = \([0-9]*\).*/\1/p' | tail -n1)
    [ "${pulses:-0}" -gt 0 ] || fail "no pulses fired before the stop"
    type_line "quit"
    wait_for "SHELL-EXITED-0"
    # Closed through the controller thread: the shutdown wrote the counts of the run.
    [ "$(tr -d '\r' <"$WORK/Counter")" = "$pulses,$pulses" ] ||
      fail "Counter is $(tr -d '\r' <"$WORK/Counter"), the run fired $pulses"
    ;;
  question)
    start_shell max
    type_line "HVTest"
    wait_for "HAZARD:HIGH VOLTAGE WARNING"
    wait_for "[Y]es/[N]o/[C]ancel?"
    # While a question waits, the next line typed is its answer, not a command.
    type_line "PulseNum"
    wait_for "[Y]es/[N]o/[C]ancel? PulseNum"
    screen | grep -qF "PulseNum = " && fail "a line typed at the question ran as a command"
    type_line "y"
    wait_for "ENTER HIGH VOLTAGE VALUE BETWEEN 0 AND 8kV [5]:"
    type_line "2"
    wait_for "HVTest -> "  # the voltage measured, near 2 kV
    wait_prompt
    kv=$(screen | sed -n 's/^HVTest -> \([0-9.]*\).*/\1/p' | head -n1)
    awk -v kv="$kv" 'BEGIN { exit !(kv > 1.5 && kv < 2.5) }' || fail "HVTest measured ${kv:-nothing}"
    type_line "HVTest"
    wait_for "[Y]es/[N]o/[C]ancel?"
    type_line "n"
    wait_for "HVTest -> 0"
    type_line "quit"
    wait_for "SHELL-EXITED-0"
    ;;
  *)
    echo "unknown case $CASE"; exit 2 ;;
esac
echo "ok: $CASE"
