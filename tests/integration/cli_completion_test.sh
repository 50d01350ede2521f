#!/bin/bash
# Bash completion for zorvtalk-cli without the bash-completion package: what each kind
# of argument is offered. Usage: cli_completion_test.sh COMPLETION CLI
completion=$1 dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
# A copy beside a window settings file, as installed, with a port of its own.
cp "$2" "$dir/zorvtalk-cli" && touch "$dir/commands.txt"
printf '[Ports]\nCOM200=%s/tty-fake\n' "$dir" > "$dir/zorvtalk.ini"
source "$completion"
failed=0
while IFS='|' read -r line expected; do
    read -ra COMP_WORDS <<< "$dir/zorvtalk-cli ${line//@/$dir}"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _zorvtalk_cli
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    [[ $got == "${expected//@/$dir}" ]] || { echo "FAIL: '$line' gave '$got'"; failed=1; }
done <<'CASES'
--ti|--timeout --times 
--port COM20|COM200 
--port @/tty-f|@/tty-fake 
--port @/comm|@/commands.txt 
--port COM200 --file @/co|@/commands.txt 
--file=@/co|@/commands.txt 
--file -|- 
--baud 1152|115200 
--set-pins co|control= 
-c | 
--wa|--watch 
--watch 100 --co|--count 
--watch | 
--watch 100 --count | 
--timeout --| 
CASES
exit $failed
