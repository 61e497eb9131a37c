#!/usr/bin/env bash
# No wait blocks its thread or spins an event loop of its own: a command
# suspends until data, a deadline or a signal resumes it. The only loops are
# each program's main loop (exec() where the program runs its command) and
# the modal error box's. Prints each place that breaks this.
#   waits_test.sh SRC_FOLDER
set -euo pipefail
src=$1
[[ -d $src ]] || { echo "FAIL: no folder $src"; exit 1; }
blocking='processEvents|QEventLoop|waitFor(ReadyRead|Connected|Disconnected|BytesWritten|Finished|Started)|msleep|usleep|nanosleep|sleep_for|QThread|gai_suspend|QHostInfo::fromName'
# The command-line tool's event loop is where waiting happens, not a wait.
theLoopItself='^async/EpollDispatcher\.(h|cpp):'
allowedLoops='^(app/main\.cpp|sim/main\.cpp|cli/CliApp\.cpp|app/QtErrorBox\.cpp):'
bad=0
while IFS= read -r hit; do
    echo "FAIL: $hit"
    bad=$((bad + 1))
done < <(cd "$src" && grep -rnE "$blocking" --include='*.cpp' --include='*.h' . | sed 's|^\./||' |
    grep -vE "$theLoopItself" || true)
loops=0
while IFS= read -r hit; do
    loops=$((loops + 1))
    if ! grep -qE "$allowedLoops" <<<"$hit"; then
        echo "FAIL: an event loop outside a program's main loop or the error box: $hit"
        bad=$((bad + 1))
    fi
done < <(cd "$src" && grep -rnE '(\.|::)exec\(' --include='*.cpp' --include='*.h' . | sed 's|^\./||')
((loops > 0)) || { echo "FAIL: no main loop found"; exit 1; }
# Every deadline runs on the injected alarm and tick: Qt's timers stand only
# in the real alarm, the loop that fires them, the window's clock panels and
# the emulator.
timersAllowed='^(async/QtAlarm\.(h|cpp)|async/(EpollDispatcher|TimerQueue)\.(h|cpp)|app/ClockPanel\.(h|cpp)|sim/[A-Za-z]+\.(h|cpp)):'
while IFS= read -r hit; do
    if ! grep -qE "$timersAllowed" <<<"$hit"; then
        echo "FAIL: a timer outside the alarm: $hit"
        bad=$((bad + 1))
    fi
done < <(cd "$src" && grep -rnE 'QTimer|QDeadlineTimer' --include='*.cpp' --include='*.h' . | sed 's|^\./||')
echo "waits: $loops event loops, $bad blocking or nested waits"
((bad == 0))
