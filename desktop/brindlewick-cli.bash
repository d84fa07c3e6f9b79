# bash completion for brindlewick-cli: its commands and options, preset names, ingestion-log
# months, loaded GPX files, GPX files to add, preference keys, lookup tables and their patterns,
# and folders and images where they are expected.
# The lists come from the tool itself, so they are those of the user who is typing.

_brindlewick_cli_words()
{
    # Appends every line of standard input that starts with the word being completed, quoted
    # for the command line (preset names may hold blanks). Fed by a process substitution, so
    # COMPREPLY is this shell's.
    local line
    while IFS= read -r line; do
        [[ -n $line && $line == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$line")")
    done
}

_brindlewick_cli_files()
{
    # Files matching the pattern (e.g. '*.[gG][pP][xX]'), and folders to walk into.
    compopt -o filenames 2>/dev/null
    local IFS=$'\n' pattern=$1
    COMPREPLY+=($(compgen -d -- "$cur"))
    if [[ -n $pattern ]]; then
        COMPREPLY+=($(compgen -f -X "!$pattern" -- "$cur"))
    else
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
}

_brindlewick_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local tool=${COMP_WORDS[0]} command=${COMP_WORDS[1]}
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        local commands
        commands=$("$tool" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    case $prev in
    --preset)
        _brindlewick_cli_words < <("$tool" presets list 2>/dev/null)
        return
        ;;
    --timezone | --zone)
        local IFS=$'\n'
        COMPREPLY=($(cd /usr/share/zoneinfo 2>/dev/null &&
            find . -type f ! -name '*.*' -printf '%P\n' | grep -v '^posix/\|^right/' |
            grep -- "^$cur"))
        return
        ;;
    --caption | --keywords | --set | --time-adjust | --adjust)
        return
        ;;
    esac

    local options
    case $command in
    ingest | preview)
        options="--preset --newest-day --caption --keywords --set --timezone --time-adjust"
        if [[ $cur != -* ]]; then
            compopt -o filenames 2>/dev/null
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            [[ camera: == "$cur"* ]] && COMPREPLY+=(camera:)
            return
        fi
        ;;
    tracks)
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W "list add remove --help" -- "$cur"))
        elif [[ ${COMP_WORDS[2]} == add ]]; then
            _brindlewick_cli_files '*.[gG][pP][xX]'
        elif [[ ${COMP_WORDS[2]} == remove ]]; then
            # The loaded files are the unindented lines of the listing.
            _brindlewick_cli_words < <("$tool" tracks list 2>/dev/null | grep -v '^ ')
        fi
        return
        ;;
    presets)
        local action=${COMP_WORDS[2]}
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W "list show new set rename delete export import --help" \
                -- "$cur"))
        elif [[ $prev == --from ]] ||
            { ((COMP_CWORD == 3)) && [[ $action == @(show|set|rename|delete|export) ]]; }; then
            _brindlewick_cli_words < <("$tool" presets list 2>/dev/null)
        elif [[ $action == import ]] && ((COMP_CWORD == 3)); then
            _brindlewick_cli_files '*.[pP][lL][iI][sS][tT]'
        elif [[ $action == export ]] && ((COMP_CWORD == 4)); then
            _brindlewick_cli_files
        fi
        return
        ;;
    log)
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -W "list show --help" -- "$cur"))
        elif [[ ${COMP_WORDS[2]} == show ]] && ((COMP_CWORD == 3)); then
            _brindlewick_cli_words < <("$tool" log list 2>/dev/null)
        fi
        return
        ;;
    cameras)
        ((COMP_CWORD == 2)) && COMPREPLY=($(compgen -W "files --help" -- "$cur"))
        return
        ;;
    prefs | lookups)
        # ACTION [--json] NAME ...: the action, then a preference key or a lookup table, then
        # (removing a lookup) one of that table's patterns.
        local action=${COMP_WORDS[2]} words=() i
        for ((i = 3; i < COMP_CWORD; i++)); do
            [[ ${COMP_WORDS[i]} != -* ]] && words+=("${COMP_WORDS[i]}")
        done
        if ((COMP_CWORD == 2)); then
            if [[ $command == prefs ]]; then
                COMPREPLY=($(compgen -W "list get set reset --help" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "list set remove --help" -- "$cur"))
            fi
        elif [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--json" -- "$cur"))
        elif ((${#words[@]} == 0)) && [[ $command == prefs ]] &&
            [[ $action == @(get|set|reset) ]]; then
            _brindlewick_cli_words < <("$tool" prefs list 2>/dev/null | sed -n 's/ = .*//p')
        elif ((${#words[@]} == 0)) && [[ $command == lookups ]]; then
            _brindlewick_cli_words < <("$tool" lookups list 2>/dev/null |
                sed -n 's/^\([^ ].*\) (.*)$/\1/p')
        elif ((${#words[@]} == 1)) && [[ $command == lookups && $action == remove ]]; then
            _brindlewick_cli_words < <("$tool" lookups list "${words[0]}" 2>/dev/null |
                sed -n 's/^    \(.*\) = .*/\1/p')
        fi
        return
        ;;
    watch)
        options="--preset --any-volume --eject"
        ;;
    match)
        options="--zone --adjust"
        ;;
    macro | macros)
        options="--preset"
        ;;
    info)
        options="--json"
        ;;
    *)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
    elif [[ $command != watch ]]; then
        _brindlewick_cli_files
    fi
}

complete -F _brindlewick_cli brindlewick-cli
