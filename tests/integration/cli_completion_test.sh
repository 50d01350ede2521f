#!/bin/bash
# Bash completion for zorvtalk-cli, without the bash-completion package: the words
# offered for each kind of argument. Usage: cli_completion_test.sh COMPLETION CLI
set -u
completion=$1 cli=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
# A copy beside a window settings file, as installed, with a port of its own.
cp "$cli" "$dir/zorvtalk-cli"
printf '[Ports]\nCOM200=%s/tty-fake\n' "$dir" > "$dir/zorvtalk.ini"
touch "$dir/commands.txt"
source "$completion"

failed=0
# check "WORDS..." EXPECTED: completes the last word of WORDS (may be empty).
check() {
    local line=$1 expected=$2
    read -ra COMP_WORDS <<< "$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_WORDS[0]=$dir/zorvtalk-cli
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _zorvtalk_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    if [[ $got != *"$expected"* ]]; then
        echo "FAIL: '$line' gave '$got', wanted '$expected'"
        failed=1
    fi
}

check "zorvtalk-cli --ti" "--timeout --times "
check "zorvtalk-cli --li" "--list-ports "
check "zorvtalk-cli --port COM20" "COM200 "
check "zorvtalk-cli --port $dir/tty-f" "$dir/tty-fake "
check "zorvtalk-cli --port $dir/comm" "$dir/commands.txt "
check "zorvtalk-cli --port COM200 --file $dir/co" "$dir/commands.txt "
check "zorvtalk-cli --file=$dir/co" "$dir/commands.txt "
check "zorvtalk-cli --file " "- "
check "zorvtalk-cli --baud 1152" "115200 "
check "zorvtalk-cli --set-pins co" "control= "
check "zorvtalk-cli -c " ""
exit $failed
