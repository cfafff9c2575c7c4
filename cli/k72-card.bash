# Bash completion for k72-card: its commands, their options and option values, the pads (BANK-NUMBER-PAD,
# completed a part at a time: "A-", "A-1-", "A-1-12"), card folders, and file names.

_k72_card_pads() {
    local cur=${1^^} bank number
    if [[ $cur =~ ^([A-F])-([0-9]{1,2})-[0-9]*$ ]]; then
        bank=${BASH_REMATCH[1]}
        number=${BASH_REMATCH[2]}
        COMPREPLY=($(compgen -W "$(printf "$bank-$number-%s " {1..12})" -- "$cur"))
    elif [[ $cur =~ ^([A-F])-[0-9]*$ ]]; then
        bank=${BASH_REMATCH[1]}
        COMPREPLY=($(compgen -W "$(printf "$bank-%s- " {1..12})" -- "$cur"))
        compopt -o nospace 2>/dev/null
    else
        COMPREPLY=($(compgen -W "A- B- C- D- E- F-" -- "$cur"))
        compopt -o nospace 2>/dev/null
    fi
}

_k72_card() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="show import add-still remove-still move-still audio remove-sound delete export convert-picture
                    convert-movie convert-sound probe check preview overview undo redo"
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    local command=${COMP_WORDS[1]}

    case $prev in
    --fps) COMPREPLY=($(compgen -W "ntsc pal" -- "$cur")); return ;;
    --quality) COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur")); return ;;
    --deinterlace) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
    --fit) COMPREPLY=($(compgen -W "stretch letterbox crop auto" -- "$cur")); return ;;
    --bank) COMPREPLY=($(compgen -W "A B C D E F" -- "${cur^^}")); return ;;
    --number) COMPREPLY=($(compgen -W "$(echo {1..12})" -- "$cur")); return ;;
    esac

    # The options of each command, and what its arguments are, in order (the last one repeats for
    # add-still): card, pad, file, folder, or a number that is not completed.
    local options arguments
    case $command in
    show) options="--bank --number --json"; arguments="card" ;;
    import) options="--fps --quality --deinterlace --fit --overwrite --json"; arguments="card pad file" ;;
    add-still) options="--quality --fit --overwrite --json"; arguments="card pad file" ;;
    remove-still) options="--delete-file --json"; arguments="card pad number" ;;
    move-still) options="--json"; arguments="card pad number number" ;;
    audio) options="--convert --overwrite --json"; arguments="card pad file" ;;
    remove-sound) options="--delete-file --json"; arguments="card pad" ;;
    delete) options="--delete-files --json"; arguments="card pad" ;;
    export) options="--overwrite --json"; arguments="card pad folder" ;;
    convert-picture) options="--quality --fit --overwrite --json"; arguments="file file" ;;
    convert-movie) options="--fps --quality --deinterlace --fit --overwrite --json"; arguments="file file" ;;
    convert-sound) options="--overwrite --json"; arguments="file file" ;;
    probe) options="--json"; arguments="file" ;;
    check) options="--repair --json"; arguments="card" ;;
    preview) options="--fps --quality --deinterlace --fit --at --overwrite --json"; arguments="file file" ;;
    overview) options="--json"; arguments="card" ;;
    undo | redo) options="--json"; arguments="card" ;;
    *) return ;;
    esac
    options="$options --help"

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Which argument is being typed: the words after the command that are neither options nor their values.
    local i position=0 word
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --fps | --quality | --deinterlace | --fit | --bank | --number | --at) ((i++)) ;;
        -*) ;;
        *) ((position++)) ;;
        esac
    done
    local kinds=($arguments)
    local kind=${kinds[position]:-}
    if [[ -z $kind && $command == add-still ]]; then
        kind=file
    fi
    case $kind in
    card | folder)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        ;;
    pad) _k72_card_pads "$cur" ;;
    file)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
}

complete -F _k72_card k72-card
