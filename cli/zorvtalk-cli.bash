# Bash completion for zorvtalk-cli: its options, the ports it numbers (COM<n>) and
# device paths after --port, files after --file.
_zorvtalk_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n = || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
    fi
    # "--file=na<TAB>": complete the value after the =.
    if [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi

    local options="--port --baud -c --file --set-pins --report --pins --timeout
        --fail-on --expect --watch --count --keep-going --echo --times --quiet --raw
        --list-ports --help --version"
    local IFS=$'\n'
    case $prev in
    --port)
        # The runner numbers ports as the window does, and opens nothing to say so.
        local listed
        listed=$("${COMP_WORDS[0]}" --list-ports 2>/dev/null)
        COMPREPLY=($(compgen -W "$(printf '%s\n' "$listed" | cut -d' ' -f1)
$(printf '%s\n' "$listed" | cut -d' ' -f2-)" -- "$cur"))
        [[ $cur == /* || $cur == .* ]] && COMPREPLY+=($(compgen -f -- "$cur"))
        return
        ;;
    --file)
        if declare -F _filedir >/dev/null; then
            _filedir
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi
        [[ -z $cur || $cur == - ]] && COMPREPLY+=(-)
        return
        ;;
    --baud)
        # The window's Baud box offers these.
        COMPREPLY=($(compgen -W "$(printf '%s\n' 300 600 1200 1800 2400 4800 7200 9600 14400 19200 38400 57600 \
            115200 230400 460800 921600)" -- "$cur"))
        return
        ;;
    --set-pins)
        COMPREPLY=($(compgen -W $'data=\ncontrol=\ndata=00,control=0' -- "$cur"))
        compopt -o nospace 2>/dev/null
        return
        ;;
    -c | --timeout | --fail-on | --expect | --watch | --count)
        # Free values: an option name offered here would become the value.
        return
        ;;
    esac
    if [[ $cur == -* || -z $cur ]]; then
        IFS=$' \t\n'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    fi
}
complete -F _zorvtalk_cli zorvtalk-cli
