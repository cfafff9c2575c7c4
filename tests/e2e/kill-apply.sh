#!/usr/bin/env bash
# Kills k72-card apply at every step that writes (counted by the tool's fault points: copies onto the
# card, the record of sources, renames, the pad file's journaled saves, deletions), one run per step, and
# checks what the next runs find: a reader opens the card with the pad file whole, the next apply
# clears up what the kill left and finishes the rest, and the card then is what an undisturbed apply
# made of it (the same plan told, every card file named by a pad, the card check clean).
#
# usage: kill-apply.sh K72-CARD WORK-FOLDER
# Prints the number of steps and a total "tries N survived N failures N"; exits 1 on any failure.
set -u

tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work/src"
size=1178496

# 2 x 2 pictures (24-bit BMP) of different colours and a sound in the device's form (PCM, 2 channels,
# 44100 Hz, 16 bits, 4 frames).
bmp() { # file, the four pixels' bytes
    printf "BM\\106\\0\\0\\0\\0\\0\\0\\0\\66\\0\\0\\0\\50\\0\\0\\0\\2\\0\\0\\0\\2\\0\\0\\0\\1\\0\\30\\0\\0\\0\\0\\0\\20\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0$2" >"$1"
}
bmp "$work/src/p1.bmp" '\0\0\377\0\377\0\0\0\377\0\0\377\0\0\0\0'
bmp "$work/src/p2.bmp" '\377\0\0\377\0\0\0\0\377\0\0\377\0\0\0\0'
bmp "$work/src/p3.bmp" '\0\377\0\0\377\0\0\0\0\377\0\0\377\0\0\0'
printf 'RIFF\64\0\0\0WAVEfmt \20\0\0\0\1\0\2\0\104\254\0\0\20\261\2\0\4\0\20\0data\20\0\0\0\1\0\2\0\3\0\4\0\5\0\6\0\7\0\10\0' >"$work/src/tone.wav"
cat >"$work/src/plan.json" <<'PLAN'
{ "k72-plan": 1,
  "pads": {
    "A-1-1": { "pictures": ["p1.bmp", "p2.bmp"] },
    "A-1-2": { "pictures": ["p3.bmp"], "sound": "tone.wav" },
    "A-1-3": null,
    "A-1-4": { "pictures": ["p1.bmp"] } } }
PLAN

run() { # folder, then the tool's arguments
    local folder=$1
    shift
    TMPDIR="$folder/tmp" XDG_DATA_HOME="$folder/data" XDG_CONFIG_HOME="$folder/config" "$tool" "$@" \
        >"$folder/out.txt" 2>"$folder/err.txt" </dev/null
}

# The card every run starts from: A-1-3 holds a picture, which the plan empties.
base="$work/base"
mkdir -p "$base/card/DCIM/000KAVLO" "$base/tmp" "$base/data"
head -c $size /dev/zero >"$base/card/DCIM/000KAVLO/K72_PAD.SYS"
if ! run "$base" import "$base/card" A-1-3 "$work/src/p3.bmp"; then
    echo "setting up the card failed:"
    cat "$base/err.txt"
    exit 1
fi

leftovers() {
    find "$1/card" "$1/tmp" \( -name '.k72-copy-*' -o -name 'k72-*' -o -name '*.part' -o -name '*journal*' \
        -o -name '*.tmp' -o -name '.K72_SRC*' \) -print | tr '\n' ' '
}

# The undisturbed apply, and the plan it leaves.
ref="$work/ref"
cp -a "$base" "$ref"
if ! run "$ref" apply "$ref/card" "$work/src/plan.json" || ! (cd "$work/src" && run "$ref" plan "$ref/card"); then
    echo "the undisturbed apply failed:"
    cat "$ref/err.txt"
    exit 1
fi
cp "$ref/out.txt" "$work/ref-plan.json"

tries=0
survived=0
failures=0
n=1
try="$work/try"
while [ $n -lt 300 ]; do
    rm -rf "$try"
    cp -a "$base" "$try"
    { K72_TEST_WRITE_FAULT="kill:$n" run "$try" apply "$try/card" "$work/src/plan.json"; } 2>/dev/null
    status=$?
    if [ $status -ne 137 ]; then
        if [ $status -ne 0 ]; then
            echo "the apply with step $n armed ended with status $status"
            failures=$((failures + 1))
        fi
        break
    fi
    tries=$((tries + 1))
    problems=""
    # A command that only reads opens the card as the kill left it, and changes nothing.
    run "$try" show "$try/card" || problems+=" the card could not be opened ($(tr '\n' ' ' <"$try/err.txt"));"
    length=$(stat -c %s "$try/card/DCIM/000KAVLO/K72_PAD.SYS")
    [ "$length" -eq $size ] || problems+=" the pad file has $length bytes;"
    # The next apply rolls back and clears up before anything else, then finishes the rest.
    run "$try" apply "$try/card" "$work/src/plan.json" || problems+=" the next apply failed ($(tr '\n' ' ' <"$try/err.txt"));"
    left=$(leftovers "$try")
    [ -z "$left" ] || problems+=" left behind: $left;"
    (cd "$work/src" && run "$try" plan "$try/card")
    cmp -s "$try/out.txt" "$work/ref-plan.json" || problems+=" another plan: $(tr -d ' \n' <"$try/out.txt");"
    run "$try" check "$try/card" || problems+=" the card check: $(tr '\n' ' ' <"$try/out.txt");"
    if [ -n "$problems" ]; then
        echo "killed at step $n:$problems"
        failures=$((failures + 1))
    else
        survived=$((survived + 1))
    fi
    n=$((n + 1))
done
echo "apply: killed at each of its $tries steps"
echo "tries $tries survived $survived failures $failures"
[ $failures -eq 0 ] && [ $tries -gt 0 ]
