#!/usr/bin/env bash
# Kills k72-card at every step that writes (each write, flush, rename and delete on the card or next to
# it, counted by the tool's fault points) of each command that changes a card, one run per step, and
# checks what the next run of the tool finds: the pad file 1,178,496 bytes long, every record either
# entirely as before the command or entirely as after it (an interrupted save rolled back), and no lock,
# journal, partial copy or temporary folder left behind.
#
# usage: kill-every-write.sh K72-CARD WORK-FOLDER
# Prints one line per command and a total "tries N survived N failures N"; exits 1 on any failure.
set -u

tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
record=1364
size=1178496

# A 2 x 2 picture (24-bit BMP) and a short sound (PCM, 2 channels, 44100 Hz, 16 bits, 4 frames).
printf 'BM\106\0\0\0\0\0\0\0\66\0\0\0\50\0\0\0\2\0\0\0\2\0\0\0\1\0\30\0\0\0\0\0\20\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\377\0\0\0\377\0\0\0\0\0\0\377\377\377\377\0\0' >"$work/picture.bmp"
printf 'RIFF\64\0\0\0WAVEfmt \20\0\0\0\1\0\2\0\104\254\0\0\20\261\2\0\4\0\20\0data\20\0\0\0\1\0\2\0\3\0\4\0\5\0\6\0\7\0\10\0' >"$work/sound.wav"

# The card every run starts from: A-1-1 a still pad of three pictures, A-1-2 a movie pad whose file is
# also the first picture of A-1-4 (a shared file), made by the tool itself.
base="$work/base"
mkdir -p "$base/card/DCIM/000KAVLO" "$base/tmp" "$base/data"
head -c $size /dev/zero >"$base/card/DCIM/000KAVLO/K72_PAD.SYS"
printf 'not a real movie' >"$base/card/DCIM/000KAVLO/K72_0100.AVI"
run() { # folder, then the tool's arguments
    local folder=$1
    shift
    TMPDIR="$folder/tmp" XDG_DATA_HOME="$folder/data" XDG_CONFIG_HOME="$folder/config" "$tool" "$@" \
        >"$folder/out.txt" 2>"$folder/err.txt" </dev/null
}
setup_ok=1
run "$base" import "$base/card" A-1-1 "$work/picture.bmp" || setup_ok=0
run "$base" add-still "$base/card" A-1-1 "$work/picture.bmp" "$work/picture.bmp" || setup_ok=0
run "$base" import "$base/card" A-1-2 "$base/card/DCIM/000KAVLO/K72_0100.AVI" || setup_ok=0
run "$base" import "$base/card" A-1-4 "$base/card/DCIM/000KAVLO/K72_0100.AVI" || setup_ok=0
run "$base" audio "$base/card" A-1-2 "$work/sound.wav" || setup_ok=0
if [ $setup_ok -ne 1 ]; then
    echo "setting up the card failed:"
    cat "$base/err.txt"
    exit 1
fi
rm -rf "$base/data" "$base/tmp"
mkdir -p "$base/tmp" "$base/data"

# The records (numbered from 0) in which two pad files differ.
changed_records() {
    cmp -l "$1" "$2" | awk -v r=$record '{ print int(($1 - 1) / r) }' | sort -u
}

tries=0
survived=0
failures=0
rolled_back=0 # kills after which the next run put a cut-off save back
cleared=0     # kills after which the next run cleared leftovers away
leftovers() {
    find "$1/card" "$1/tmp" "$1/data" \( -name '.k72-copy-*' -o -name 'k72-import-*' -o -name 'k72-card-*' \
        -o -name '*.part' -o -name '*journal*' \) -print | tr '\n' ' '
}

attack() { # name, then the command's arguments with CARD and the card's root for @CARD@
    local name=$1
    shift
    # The card after the command ran undisturbed.
    local ref="$work/ref-$name"
    rm -rf "$ref"
    cp -a "$base" "$ref"
    local args=("${@//@CARD@/$ref/card}")
    if ! run "$ref" "${args[@]}"; then
        echo "$name: the undisturbed run failed:"
        cat "$ref/err.txt"
        failures=$((failures + 1))
        return
    fi
    local after="$ref/card/DCIM/000KAVLO/K72_PAD.SYS"
    local before="$base/card/DCIM/000KAVLO/K72_PAD.SYS"
    local n=1 mine=0 ok=0
    local try="$work/try"
    while [ $n -lt 200 ]; do
        rm -rf "$try"
        cp -a "$base" "$try"
        args=("${@//@CARD@/$try/card}")
        # (The shell's own "Killed" notice is not wanted among the results.)
        { K72_TEST_WRITE_FAULT="kill:$n" run "$try" "${args[@]}"; } 2>/dev/null
        local status=$?
        if [ $status -ne 137 ]; then
            # Fewer than n steps: the command ran to its end.
            if [ $status -ne 0 ]; then
                echo "$name: the run with step $n armed ended with status $status"
                failures=$((failures + 1))
            fi
            break
        fi
        tries=$((tries + 1))
        mine=$((mine + 1))
        local problems=""
        [ -z "$(leftovers "$try")" ] || cleared=$((cleared + 1))
        # The next run opens the card: it rolls back and clears up before anything else.
        if ! run "$try" show "$try/card" --json; then
            problems+=" the next run could not open the card ($(tr '\n' ' ' <"$try/err.txt"));"
        fi
        if grep -q "cut off before it was complete" "$try/err.txt"; then
            rolled_back=$((rolled_back + 1))
        fi
        local pad="$try/card/DCIM/000KAVLO/K72_PAD.SYS"
        local length
        length=$(stat -c %s "$pad")
        [ "$length" -eq $size ] || problems+=" the pad file has $length bytes;"
        local torn
        torn=$(comm -12 <(changed_records "$before" "$pad") <(changed_records "$after" "$pad") | tr '\n' ' ')
        [ -z "$torn" ] || problems+=" records neither old nor new: $torn;"
        local left
        left=$(leftovers "$try")
        [ -z "$left" ] || problems+=" left behind: $left;"
        if command -v flock >/dev/null && ! flock -n "$pad" true; then
            problems+=" the pad file is still locked;"
        fi
        if [ -n "$problems" ]; then
            echo "$name, killed at step $n:$problems"
            failures=$((failures + 1))
        else
            survived=$((survived + 1))
            ok=$((ok + 1))
        fi
        n=$((n + 1))
    done
    echo "$name: killed at each of its $mine steps, $ok survived"
}

attack import import @CARD@ A-1-3 "$work/picture.bmp"
attack add-still add-still @CARD@ A-1-1 "$work/picture.bmp"
attack remove-still remove-still @CARD@ A-1-1 2 --delete-file
attack audio audio @CARD@ A-1-4 "$work/sound.wav"
attack delete delete @CARD@ A-1-2 --delete-files
attack move-still move-still @CARD@ A-1-1 1 3

echo "rolled back $rolled_back, leftovers cleared $cleared"
echo "tries $tries survived $survived failures $failures"
[ $failures -eq 0 ] && [ $tries -gt 0 ]
