#!/usr/bin/env bash
# The interactive shell on a real terminal (tmux): type commands, read the answers on screen,
# complete a name with Tab, leave with quit.
set -u
MORVAND=$1
WORK=$(mktemp -d)
SESSION="shell"
# A tmux server of the test's own, so no other tmux session is touched.
t() { tmux -L "morvand-test-$$" "$@"; }
export HOME=$WORK  # the shell's history file goes here
cleanup() { t kill-server 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

"$MORVAND" --dir "$WORK" init --model LM-10 --gas KrF >/dev/null || { echo "FAIL: init"; exit 1; }
t new-session -d -s "$SESSION" -x 120 -y 40 \
  "$MORVAND --speed max --dir $WORK shell; echo SHELL-EXITED-\$?; sleep 30"

screen() { t capture-pane -p -t "$SESSION" 2>&1; }
# wait_for TEXT: the screen shows TEXT within 10 s of wall time.
wait_for() {
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.05
  done
  echo "FAIL: the screen never showed: $1"; echo "--- screen"; screen; exit 1
}

wait_for "morvand>"
t send-keys -t "$SESSION" "RepRate = 75" Enter
wait_for "RepRate = 75"
t send-keys -t "$SESSION" "help MotorVSet" Enter
wait_for "MotorVSet mVolt:Single& -> Boolean"
wait_for "  Writes the motor drive voltage mVolt, V"
# Tab completes a property name.
t send-keys -t "$SESSION" "CumTot" Tab
wait_for "morvand> CumTotalPulses"
t send-keys -t "$SESSION" Enter
wait_for "CumTotalPulses = 0"
t send-keys -t "$SESSION" "NoSuchName" Enter
wait_for "error: unknown name NoSuchName"
t send-keys -t "$SESSION" "quit" Enter
wait_for "SHELL-EXITED-0"
grep -qF "RepRate = 75" "$WORK/.morvand_history" || { echo "FAIL: history not written"; exit 1; }

# A hazard question waits for the person at the terminal; a value prompt offers its default.
SESSION="hvtest"
t new-session -d -s "$SESSION" -x 120 -y 40 \
  "$MORVAND --speed max --dir $WORK hvtest; echo HVTEST-EXITED-\$?; sleep 30"
wait_for "HAZARD:HIGH VOLTAGE WARNING"
wait_for "[Y]es/[N]o/[C]ancel?"
t send-keys -t "$SESSION" "maybe" Enter
wait_for "[Y]es/[N]o/[C]ancel? maybe"
t send-keys -t "$SESSION" "y" Enter
wait_for "ENTER HIGH VOLTAGE VALUE BETWEEN 0 AND 8kV [5]:"
t send-keys -t "$SESSION" "2" Enter
wait_for "charging voltage:"
wait_for "HVTEST-EXITED-0"
echo "ok: shell_terminal"
