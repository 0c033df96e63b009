#!/usr/bin/env bash
# End-to-end tests of the morvand command on the simulated laser, at full speed.
# Usage: console_test.sh MORVAND CASE
set -u
MORVAND=$1
CASE=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

fail() { echo "FAIL: $*"; echo "--- stdout"; cat out 2>/dev/null; echo "--- stderr"; cat err 2>/dev/null; exit 1; }
# m ARGS...: runs the command with its output in out/err and its exit code in rc.
m() { "$MORVAND" --speed max --dir "$WORK" "$@" >out 2>err </dev/null; rc=$?; }
expect_rc() { [ "$rc" -eq "$1" ] || fail "exit code $rc, expected $1"; }
has() { grep -qF -- "$2" "$1" || fail "$1 lacks: $2"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "$1 has: $2"; }
line_of() { tr -d '\r' <"$1"; }

init() { m init --model LM-10 --gas KrF; expect_rc 0; }

case "$CASE" in
  init_status_json)
    init
    [ "$(line_of Typedata)" = "5,3" ] || fail "Typedata is $(line_of Typedata)"
    [ "$(line_of Counter)" = "0,0" ] || fail "Counter is $(line_of Counter)"
    m status --json; expect_rc 0
    has out '"connected": true'
    has out '"designation": "LM-10"'
    has out '"gas": "KrF"'
    has out '"pressureOk": true'
    # Standard output is the JSON document alone: events went to standard error.
    [ "$(head -c1 out)" = "{" ] && [ "$(tail -n1 out)" = "}" ] || fail "stdout is not JSON only"
    has err "valves:"
    m status --check; expect_rc 0
    has out "power OK: yes"
    ;;
  init_keeps_counters)
    init
    printf '777,55\r\n' >Counter
    m init --model LM-13 --gas ArF; expect_rc 0
    [ "$(line_of Counter)" = "777,55" ] || fail "init overwrote the pulse counts"
    [ "$(line_of Typedata)" = "1,2" ] || fail "Typedata is $(line_of Typedata)"
    ;;
  init_refuses_gas)
    m init --model LM-07 --gas KrF; expect_rc 1
    has err "does not run on KrF"
    has err "CO2"
    [ ! -e Typedata ] || fail "a refused init wrote Typedata"
    m init --model LM-99 --gas KrF; expect_rc 2
    has err 'unknown model "LM-99"'
    ;;
  run_1000)
    init
    m --log run.csv run --rate 100 --pulses 1000; expect_rc 0
    has out "Operation Completed"
    has out "pulses this run: 1000"
    has out "counter total: 1000"
    has out "lifetime pulses: 1000"
    has out "pulses this fill: 1000"
    # The shutdown wrote the counts back.
    [ "$(line_of Counter)" = "1000,1000" ] || fail "Counter is $(line_of Counter)"
    has run.csv "time_s,event,pulse,energy"
    grep -q '^[0-9.]*,LaserRunning,1000,' run.csv || fail "no LaserRunning row for pulse 1000"
    grep -q '^[0-9.]*,Measurements,,,[0-9.]*,[0-9.]*,' run.csv || fail "no Measurements row"
    # The log is named relative to the caller's directory, not the settings directory.
    mkdir elsewhere
    (cd elsewhere && "$MORVAND" --speed max --dir "$WORK" --log here.csv run --rate 100 --pulses 10 \
      >../out 2>../err </dev/null); rc=$?; expect_rc 0
    [ -s elsewhere/here.csv ] || fail "the log is not where the caller named it"
    before=$(line_of Counter); before=${before%%,*}
    m run --rate 100 --pulses 490 --json; expect_rc 0
    has out '"completed": true'
    # A pass may count a pulse fired while the budget was being checked: at least 490.
    pulses=$(sed -n 's/^ *"pulses": \([0-9]*\),$/\1/p' out)
    [ "${pulses:-0}" -ge 490 ] && [ "$pulses" -le 491 ] || fail "the run fired ${pulses:-no} pulses"
    has out "\"cumTotalPulses\": $((before + pulses))"
    ;;
  run_limits)
    init
    m run --rate 100000 --pulses 10; expect_rc 1
    has err "rate 100000 Hz is outside"
    m run --rate 100 --pulses 10 --voltage 99; expect_rc 1
    has err "charging voltage 99.00 kV is outside"
    [ "$(line_of Counter)" = "0,0" ] || fail "a refused run changed the counts"
    ;;
  refill)
    init
    m run --rate 100 --pulses 200; expect_rc 0
    m refill; expect_rc 0
    has out "Pump Main"
    has out "refill done"
    # The fill restarts the per-fill count; the lifetime count stays.
    [ "$(line_of Counter)" = "200,0" ] || fail "Counter is $(line_of Counter)"
    m --fault pump-failure refill; expect_rc 1
    has err "PUMP OUT FAILURE"
    ;;
  refused_start)
    init
    m --fault gauge-fault run --rate 100 --pulses 100; expect_rc 1
    has out "PRESSURE TOO LOW CANNOT START"
    has err "the laser did not start"
    lacks out "Starting Laser"
    [ "$(line_of Counter)" = "0,0" ] || fail "Counter is $(line_of Counter)"
    ;;
  ctrl_c)
    init
    # A continuous run on a paced laser, stopped from outside as Ctrl-C would.
    "$MORVAND" --speed 20 --dir "$WORK" run --rate 100 --pulses continuous >out 2>err </dev/null &
    pid=$!
    deadline=$((SECONDS + 20))
    # The first measurements after "Laser Running" come a second into firing: pulses have
    # been counted by then (the first passes may come before any).
    until sed -n '/Laser Running/,$p' out | grep -q "^measurements:"; do
      [ $SECONDS -lt $deadline ] || fail "the run never fired"
      sleep 0.05
    done
    kill -INT $pid
    wait $pid; rc=$?
    expect_rc 0
    has out "stopping the laser"
    has out "Laser Operation Stopped"
    pulses=$(sed -n 's/^pulses this run: //p' out)
    [ "${pulses:-0}" -gt 0 ] || fail "no pulses counted"
    [ "$(line_of Counter)" = "$pulses,$pulses" ] || fail "Counter $(line_of Counter), run $pulses"
    ;;
  questions)
    init
    # Nobody at a terminal and no --yes: the hazard question is answered No.
    m hvtest; expect_rc 1
    has out "HAZARD:HIGH VOLTAGE WARNING"
    has out "-> No"
    has err "declined"
    m --no hvtest; expect_rc 1
    m --yes hvtest; expect_rc 0
    has out "-> Yes (--yes)"
    has out "charging voltage:"
    m --yes --no hvtest; expect_rc 2
    ;;
  unattended_prompts)
    init
    # A budget the controller refuses, with nobody to answer: cancelled, then given up.
    printf 'MaxNum = 20000000\nMaxNumSet\n' >budget.txt
    m script budget.txt; expect_rc 1
    has out "-> cancelled (20000000 was refused and nobody can answer)"
    has err "budget.txt:2: nobody can answer MAX PULSES"
    m --yes script budget.txt; expect_rc 0
    has out "MaxNumSet -> CONTINUOUS"
    # A rate below the card's floor is cancelled, with --yes too.
    printf 'RepRate = 1\nReprateSet\n' >rate.txt
    m --yes script rate.txt; expect_rc 0
    has out "ReprateSet -> False"
    # The shell reading commands from a pipe goes on to its next line.
    printf 'MaxNum = 20000000\nMaxNumSet\nRepRate = 1\nReprateSet\nquit\n' >lines.txt
    "$MORVAND" --speed max --dir "$WORK" shell <lines.txt >out 2>err; rc=$?
    expect_rc 0
    has err "nobody can answer MAX PULSES"
    has out "ReprateSet -> False"
    ;;
  valves)
    init
    m valves 0x19; expect_rc 0
    has out "valve pattern 25"
    m valves close; expect_rc 0
    has out "All Valves Closed"
    m valves 256; expect_rc 2
    has err "not 0..255"
    ;;
  script)
    init
    cat >ok.txt <<'S'
# a short run by name
RepRate = 50
MaxNum=100
LaserRun 0
expect PulseNum >= 100
expect CumTotalPulses == 100
TestStr "PCI-1711 card" 1711
GetLaserList Models
select Models 9
S
    m script ok.txt; expect_rc 0
    has out "RepRate = 50"
    has out "ok: CumTotalPulses = 100"
    has out "TestStr -> True"
    has out "* 9  LM-10  (5)"
    printf 'RepRate = 50\nexpect RepRate == 60\nLaserRun 0\n' >bad.txt
    m script bad.txt; expect_rc 1
    has err "bad.txt:2: expected RepRate == 60, it is 50"
    lacks out "Starting Laser"
    printf 'NoSuchThing\n' >typo.txt
    m script typo.txt; expect_rc 2
    has err "typo.txt:1: unknown name NoSuchThing"
    printf 'RepRate = fast\n' >value.txt
    m script value.txt; expect_rc 2
    has err "is not a number"
    m script missing.txt; expect_rc 1
    has err "cannot read the script missing.txt"
    ;;
  help)
    m --help; expect_rc 0
    has out "Subcommands:"
    for sub in init models status warmup run refill optics hvtest valves shell script demo; do
      m "$sub" --help; expect_rc 0
      has out "Usage:"
    done
    ;;
  bad_arguments)
    m; expect_rc 2
    has err "A subcommand is required"
    m frobnicate; expect_rc 2
    m run --rate abc --pulses 5; expect_rc 2
    has err "--rate"
    m run --pulses 5; expect_rc 2
    has err "--rate is required"
    m run --rate 10 --pulses 5 --energy 1 --voltage 12; expect_rc 2
    m run --rate 10 --pulses -3; expect_rc 2
    has err "--pulses must be"
    m optics sideways; expect_rc 2
    "$MORVAND" --speed fast --dir "$WORK" status >out 2>err </dev/null; rc=$?; expect_rc 2
    has err "--speed must be a positive number"
    m --card sim:9999 status; expect_rc 2
    has err 'unknown card "sim:9999"'
    m --card gpib:0 status; expect_rc 2
    has err 'morvand --card help'
    "$MORVAND" --card help >out 2>err </dev/null; rc=$?; expect_rc 0
    has out "sim:  the simulated laser"
    m --fault no-such-fault status; expect_rc 2
    has err "unknown fault"
    ;;
  missing_settings)
    init
    rm Counter
    m status; expect_rc 1
    has err '"Counter"'
    has err "init --model"
    "$MORVAND" --dir "$WORK/nowhere" status >out 2>err </dev/null; rc=$?; expect_rc 1
    has err "does not exist"
    ;;
  not_connected)
    init
    m --fault head-unplugged status --json; expect_rc 1
    has out '"connected": false'
    has err "not connected"
    ;;
  demo)
    "$MORVAND" demo >out 2>err </dev/null; rc=$?; expect_rc 0
    has out "Operation Completed"
    has out "refill done"
    has out "demo finished"
    ;;
  cards)
    init
    total=0
    for card in sim:1710 sim:1712; do
      m --card $card run --rate 100 --pulses 200; expect_rc 0
      has out "Operation Completed"
      pulses=$(sed -n 's/^pulses this run: //p' out)
      [ "${pulses:-0}" -ge 200 ] || fail "$card fired ${pulses:-no} pulses"
      total=$((total + pulses))
    done
    [ "$(line_of Counter)" = "$total,$total" ] || fail "Counter $(line_of Counter), fired $total"
    # The DEMO board switches lines but cannot measure: a clear refusal, not a crash.
    m --card sim:demo valves 3; expect_rc 0
    m --card sim:demo status; expect_rc 1
    has err "DEMO board"
    ;;
  models)
    m models; expect_rc 0
    has out "LM-10"
    m models --json; expect_rc 0
    has out '"model": "LM-56"'
    ;;
  *)
    echo "unknown case $CASE"; exit 2 ;;
esac
echo "ok: $CASE"
