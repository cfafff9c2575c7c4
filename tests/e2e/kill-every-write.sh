#!/usr/bin/env bash
# Kills k72-card at every step that writes (each write, flush, rename, move and delete on the card or
# next to it, counted by the tool's fault points) of each command that changes a card, one run per
# step, and checks what the next runs of the tool find:
#   - the next command that changes the card finds the pad file 1,178,496 bytes long, every record
#     either entirely as before the command or entirely as after it (an interrupted save put back),
#     and no lock, journal, partial copy or temporary folder left behind;
#   - with a second card put at the same path after the kill (whose records hold what the killed save
#     wrote, and which differs elsewhere), neither a reader nor a writer changes that card, and the
#     first card, put back, is changed by no reader (show) and finished by the next writer as above.
#
# usage: kill-every-write.sh K72-CARD WORK-FOLDER [same-card|second-card]
# same-card (the default) kills each command and then check --repair; second-card puts the second card
# in after each kill of an import, add-still and delete. They are two runs, so that each fits the time
# a test may take on a busy machine.
# Prints one line per command and a total "tries N survived N failures N"; exits 1 on any failure.
set -u

tool=$1
work=$2
mode=${3:-same-card}
rm -rf "$work"
mkdir -p "$work"
record=1364
bank=196416
size=1178496

# A 2 x 2 picture (24-bit BMP) and a short sound (PCM, 2 channels, 44100 Hz, 16 bits, 4 frames).
printf 'BM\106\0\0\0\0\0\0\0\66\0\0\0\50\0\0\0\2\0\0\0\2\0\0\0\1\0\30\0\0\0\0\0\20\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\377\0\0\0\377\0\0\0\0\0\0\377\377\377\377\0\0' >"$work/picture.bmp"
printf 'RIFF\64\0\0\0WAVEfmt \20\0\0\0\1\0\2\0\104\254\0\0\20\261\2\0\4\0\20\0data\20\0\0\0\1\0\2\0\3\0\4\0\5\0\6\0\7\0\10\0' >"$work/sound.wav"

# Writes the printf-escaped bytes $3 into file $1 at offset $2.
put() {
    printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# The head of a movie in the device's form (an MJPEG AVI of 640 x 480 with 300 pictures, its headers in
# the first 500 bytes and the "movi" list at 500), which an import records where it lies.
device_movie() {
    head -c 520 /dev/zero >"$1"
    put "$1" 0 'RIFF\0\2\0\0AVI LIST\334\1\0\0hdrlavih\70\0\0\0\127\202\0\0'
    put "$1" 48 '\54\1\0\0'
    put "$1" 64 '\200\2\0\0\340\1\0\0'
    put "$1" 88 'LIST'
    put "$1" 96 'strlstrh'
    put "$1" 108 'vidsMJPG'
    put "$1" 500 'LIST\14\0\0\0movi'
}

# The card every run starts from: A-1-1 a still pad of three pictures, A-1-2 a movie pad whose file is
# also the first picture of A-1-4 (a shared file), A-1-5 a picture pad whose file is gone, and a picture
# no pad names, made by the tool itself.
base="$work/base"
mkdir -p "$base/card/DCIM/000KAVLO" "$base/tmp" "$base/data"
head -c $size /dev/zero >"$base/card/DCIM/000KAVLO/K72_PAD.SYS"
device_movie "$base/card/DCIM/000KAVLO/K72_0100.AVI"
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
run "$base" import "$base/card" A-1-5 "$work/picture.bmp" || setup_ok=0
rm -f "$base/card/DCIM/000KAVLO/K72_0101.JPG"
cp "$work/picture.bmp" "$base/card/DCIM/000KAVLO/K72_0050.JPG"
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
told=0        # kills after which a command that only reads said that a save was cut off
leftovers() {
    find "$1/card" "$1/tmp" "$1/data" \( -name '.k72-copy-*' -o -name 'k72-import-*' -o -name 'k72-card-*' \
        -o -name '*.part' -o -name '*journal*' \) -print | tr '\n' ' '
}
# Every name and size under a card, and its pad file's bytes: what a reader must leave as it is.
state_of() {
    (cd "$1" && find . -printf '%p %s\n' | sort && md5sum DCIM/000KAVLO/K72_PAD.SYS)
}
# A command that changes the card: opening it puts back a cut-off save and clears up first. On an empty
# pad it changes nothing else.
NEXT=(delete @CARD@ F-12-12)

# What the next command that changes the card must find after a kill: problems are added to $problems.
check_finished() { # folder, pad file before the command, pad file after it
    local folder=$1 before=$2 after=$3
    local pad="$folder/card/DCIM/000KAVLO/K72_PAD.SYS"
    if ! run "$folder" "${NEXT[@]//@CARD@/$folder/card}"; then
        problems+=" the next writer failed ($(tr '\n' ' ' <"$folder/err.txt"));"
    fi
    if grep -q "cut off before it was complete" "$folder/err.txt"; then
        rolled_back=$((rolled_back + 1))
    fi
    local length
    length=$(stat -c %s "$pad")
    [ "$length" -eq $size ] || problems+=" the pad file has $length bytes;"
    local torn
    torn=$(comm -12 <(changed_records "$before" "$pad") <(changed_records "$after" "$pad") | tr '\n' ' ')
    [ -z "$torn" ] || problems+=" records neither old nor new: $torn;"
    local left
    left=$(leftovers "$folder")
    [ -z "$left" ] || problems+=" left behind: $left;"
    if command -v flock >/dev/null && ! flock -n "$pad" true; then
        problems+=" the pad file is still locked;"
    fi
}

# Runs the command killed at each step in turn: name, swap (yes: a second card is put at the card's
# path after the kill), then the command's arguments with @CARD@ for the card's root.
attack() {
    local name=$1 swap=$2
    shift 2
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
        problems=""
        [ -z "$(leftovers "$try")" ] || cleared=$((cleared + 1))
        if [ "$swap" = yes ]; then
            # Card Y at the same path: the undisturbed result, so that its records hold the bytes the
            # killed save wrote, told apart from card X by one more pad (F-1-1, a movie).
            mv "$try/card" "$try/card-x"
            cp -a "$ref/card" "$try/card"
            local ypad="$try/card/DCIM/000KAVLO/K72_PAD.SYS"
            put "$ypad" $((5 * bank)) '\1\0\0\0\0\0\0\0K72_0999.AVI'
            local ybefore
            ybefore=$(state_of "$try/card")
            run "$try" "${NEXT[@]//@CARD@/$try/card}" || problems+=" a writer failed on the second card;"
            [ "$(state_of "$try/card")" = "$ybefore" ] || problems+=" a writer changed the second card;"
            # Card X comes back.
            mv "$try/card" "$try/card-y"
            mv "$try/card-x" "$try/card"
        fi
        if [ "$swap" = yes ]; then
            # A command that only reads changes nothing, and says when a save waits to be put back.
            local xbefore
            xbefore=$(state_of "$try/card")
            run "$try" show "$try/card" --json || problems+=" show failed ($(tr '\n' ' ' <"$try/err.txt"));"
            [ "$(state_of "$try/card")" = "$xbefore" ] || problems+=" show changed the card;"
            if grep -q "cut off before it was complete" "$try/err.txt"; then
                told=$((told + 1))
            fi
        fi
        check_finished "$try" "$before" "$after"
        if [ -n "$FINISH" ]; then
            run "$try" $FINISH "$try/card" || problems+=" '$FINISH' found: $(tr '\n' ' ' <"$try/out.txt");"
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

FINISH=""
swap=$([ "$mode" = second-card ] && echo yes || echo no)
suffix=$([ $swap = yes ] && echo " (second card)")
attack "import$suffix" $swap import @CARD@ A-1-3 "$work/picture.bmp"
attack "add-still$suffix" $swap add-still @CARD@ A-1-1 "$work/picture.bmp"
attack "delete$suffix" $swap delete @CARD@ A-1-2 --delete-files
if [ "$mode" = same-card ]; then
    # The other commands save the pad file the same way; with a second card they add only time.
    attack "remove-still" no remove-still @CARD@ A-1-1 2 --delete-file
    attack "audio" no audio @CARD@ A-1-4 "$work/sound.wav"
    attack "move-still" no move-still @CARD@ A-1-1 1 3
    # A repair cut off is finished by the next one: afterwards the card is sound.
    NEXT=(check @CARD@ --repair)
    FINISH="check"
    attack "check --repair" no check @CARD@ --repair
fi

echo "rolled back $rolled_back, told by a reader $told, leftovers cleared $cleared"
echo "tries $tries survived $survived failures $failures"
[ $failures -eq 0 ] && [ $tries -gt 0 ]
