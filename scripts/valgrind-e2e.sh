#!/usr/bin/env bash
# The happy path of the real program under valgrind memcheck, under Xvfb with openbox:
# start-up, a fetch of the example page with "调试输出" ticked, a copy, Esc. Prints
# memcheck's summary; exits non-zero on a memory error or a definite leak.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/setup.sh"
"$here/scripts/install-packages.sh" valgrind

export MORVANE_APP="$build/morvane-resolver"
export MORVANE_SITE="$build/tools/morvane-standin-site"
export MORVANE_SITE_ROOT="$here/tools/standin"
source "$here/tests/e2e/lib.sh"
e2e_setup
report="${VALGRIND_REPORT:-$WORK/memcheck.txt}"
start_app valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --suppressions="$here/scripts/valgrind.supp" --child-silent-after-fork=yes \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=30 \
    --log-file="$report"

window=$(xdotool search --sync --onlyvisible --name 'Morvane视频地址解析器' | head -n1)
xdotool windowactivate --sync "$window"
click_at "$window" 428 80
xdotool key Return
# The dump's name is the page's GBK bytes; wait for any dump beside the program.
for _ in $(seq 600); do compgen -G "$WORK/app/*.txt" >/dev/null && break; sleep 0.1; done
double_click_at "$window" 100 98
sleep 3
xdotool windowactivate --sync "$window" key Escape
wait_for_exit 120
dumps=$(compgen -G "$WORK/app/*.txt" | wc -l)
echo "dump files written: $dumps"
sed -n '/HEAP SUMMARY/,$p' "$report"
echo "exit code under memcheck: $EXIT_CODE"
[ "$EXIT_CODE" -eq 0 ] && [ "$dumps" -eq 1 ]
