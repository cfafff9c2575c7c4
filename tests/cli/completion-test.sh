#!/usr/bin/env bash
# Drives k72-card's bash completion as bash does (COMP_WORDS, COMP_CWORD) and checks what it offers.
set -u
source "$1"
cd "$(mktemp -d)" || exit 1
mkdir -p card/DCIM pictures
touch pictures/one.png pictures/two.png
failures=0

offers() { # offers "expected words" word...
    local expected=$1
    shift
    COMP_WORDS=(k72-card "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _k72_card
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: k72-card $*: offered [$got], expected [$expected]"
        failures=$((failures + 1))
    fi
}

offers "add-still audio" a
offers "overview" o
offers "--at --deinterlace --fit --fps --help --json --overwrite --quality" preview x.mp4 --
offers "check convert-movie convert-picture convert-sound" c
offers "--help --version" --
offers "--delete-files --help --json" delete card --
offers "--help --json --repair" check card --
offers "card" check ca
offers "pictures" import card A-1-1 pic
offers "pictures/one.png" import card A-1-1 pictures/o
offers "A- B- C- D- E- F-" import card ""
offers "B-" import card b
offers "B-1- B-10- B-11- B-12-" import card B-1
offers "B-12-1 B-12-10 B-12-11 B-12-12" import card B-12-1
offers "ntsc pal" import card A-1-1 x.mov --fps ""
offers "auto crop letterbox stretch" convert-picture --fit ""
offers "pictures" add-still --fit crop card A-1-1 pic
offers "0 1 2 3 4" add-still --quality ""
offers "A- B- C- D- E- F-" add-still --quality 3 card ""
offers "pictures/two.png" add-still card A-1-1 pictures/one.png pictures/t
offers "A B C D E F" show card --bank ""
offers "" remove-still card A-1-1 ""
offers "pictures" export card A-1-1 pi

if ((failures > 0)); then
    exit 1
fi
echo "completion: all offers as expected"
