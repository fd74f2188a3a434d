# bash completion for trellan(1): commands, their options, files where a
# command takes files, and the query fields of 'trellan search'.

_trellan()
{
    local cur prev words cword
    _init_completion -n : || return

    local commands="dump index search list register unregister reg script"
    local command="" subcommand="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --registry) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                elif [[ -z $subcommand && ($command == reg || $command == script) ]]; then
                    subcommand=${words[i]}
                fi
                ;;
        esac
    done

    case $prev in
        --registry | --db)
            _filedir 'sqlite'
            return
            ;;
        --files-from | --module | --forget)
            _filedir
            return
            ;;
        --sort)
            COMPREPLY=($(compgen -W "rank title artist album year path modified" -- "$cur"))
            return
            ;;
        --color)
            COMPREPLY=($(compgen -W "auto always never" -- "$cur"))
            return
            ;;
        --bind)
            COMPREPLY=($(compgen -W "stream path" -- "$cur"))
            return
            ;;
        --format)
            return
            ;;
        -j | --jobs | -n | --limit | --batch | --rescan | --buffer | --set | --exclude | --forget-exclude | --filter-timeout | --filter-memory)
            return
            ;;
    esac

    local options="--registry --help"
    case $command in
        dump) options+=" --json --jobs --files-from --null --all --module --buffer --bind --filter-timeout --filter-memory --quiet --verbose" ;;
        index) options+=" --db --jobs --files-from --null --batch --watch --rescan --forget --exclude --forget-exclude --hidden --rebuild --status --filter-timeout --filter-memory --quiet --verbose" ;;
        search) options+=" --db --json --limit --sort --paths --null --format --color" ;;
        list) options+=" --db --json" ;;
        script) [[ -n $subcommand ]] && options+=" --unregister --set" ;;
        "") options="--registry --help --version" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case $command in
        "") COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
        reg) [[ -z $subcommand ]] && COMPREPLY=($(compgen -W "export import" -- "$cur")) || _filedir ;;
        script) [[ -z $subcommand ]] && COMPREPLY=($(compgen -W "run" -- "$cur")) || _filedir ;;
        search | list)
            local fields="title: author: artist: comments: body: album: albumartist: genre: composer: name: year: track: disc: tag: path: dir: ext:"
            if [[ $command == list && -z $subcommand ]]; then
                for ((i = 1; i < cword; i++)); do
                    [[ ${words[i]} == list ]] && break
                done
                if ((cword == i + 1)); then
                    COMPREPLY=($(compgen -W "artists albums genres years composers" -- "$cur"))
                    return
                fi
            fi
            COMPREPLY=($(compgen -W "$fields" -- "$cur"))
            __ltrim_colon_completions "$cur"
            compopt -o nospace
            ;;
        *) _filedir ;;
    esac
}
complete -F _trellan trellan
