# bash completion for vantorel-cli and vantorel             -*- shell-script -*-
# Installed as share/bash-completion/completions/vantorel-cli and .../vantorel.

# The media files the programs read, and folders to reach them.
_vantorel_media_files() {
    local IFS=$'\n' restore
    restore=$(shopt -p extglob)
    shopt -s extglob
    COMPREPLY=($(compgen -d -- "$1")
        $(compgen -f -X '!*.@(avi|wav|wmv|wma|asf|flv|AVI|WAV|WMV|WMA|ASF|FLV|Avi|Wav|Wmv|Wma|Asf|Flv)' -- "$1"))
    eval "$restore"
    compopt -o filenames 2>/dev/null
    return 0
}

_vantorel_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev="" i w op="" ended=0
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # "--format=w" comes as "--format" "=" "w" where '=' breaks words.
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    # The operation is the first operand; option values are not operands.
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        if ((ended)); then
            [[ -z $op ]] && op=$w
            continue
        fi
        case $w in
            --) ended=1 ;;
            --format | --lang | --start | --end | --output | -o)
                [[ ${COMP_WORDS[i + 1]} == "=" ]] && ((i++))
                ((i++))
                ;;
            -*) ;;
            *) [[ -z $op ]] && op=$w ;;
        esac
    done

    if ((!ended)); then
        case $prev in
            --format)
                COMPREPLY=($(compgen -W "avi wav wmv wma flv" -- "$cur"))
                return 0
                ;;
            --lang)
                COMPREPLY=($(compgen -W "ja en" -- "$cur"))
                return 0
                ;;
            --start | --end)
                COMPREPLY=()  # a time: [[H:]M:]S[.mmm]
                return 0
                ;;
            --output | -o)
                local IFS=$'\n'
                COMPREPLY=($(compgen -f -- "$cur"))
                compopt -o filenames 2>/dev/null
                return 0
                ;;
        esac
        if [[ $cur == -* ]]; then
            local opts="--format --lang --quiet -q --output -o --help -h --version"
            [[ $op != info ]] && opts+=" --verify"
            case $op in
                separate) opts+=" --video --audio" ;;
                extract) opts+=" --start --end --dry-run" ;;
                join) opts+=" --force" ;;
                info) opts+=" --json --keyframes" ;;
            esac
            COMPREPLY=($(compgen -W "$opts" -- "$cur"))
            return 0
        fi
    fi
    if [[ -z $op ]]; then
        COMPREPLY=($(compgen -W "separate union join extract info" -- "$cur"))
        return 0
    fi
    _vantorel_media_files "$cur"
}

_vantorel() {
    _vantorel_media_files "${COMP_WORDS[COMP_CWORD]}"
}

complete -F _vantorel_cli vantorel-cli
complete -F _vantorel vantorel
