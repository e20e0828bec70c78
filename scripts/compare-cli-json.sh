#!/usr/bin/env bash
# Checks that qkvorn-cli's JSON answers keep their bytes from one build to the next.
#   compare-cli-json.sh capture CLI DIR   keeps the fixed inputs and the answers in DIR
#   compare-cli-json.sh compare CLI DIR   answers again on DIR's inputs and diffs them
# Inputs are made once (the demo run's result, image files) and kept, so show, dump
# and capacity answer the same bytes each time. bench and access measure the machine:
# their measured numbers are masked, their layout and keys are still compared.
set -euo pipefail

mode=${1:?capture or compare}
cli=$(realpath "${2:?path to qkvorn-cli}")
dir=${3:?folder for the inputs and answers}
samples=$(dirname "$(realpath "$0")")/../samples/qkvorn-samples.qkl

makeInputs() {
    mkdir -p "$1"
    (cd "$1" && "$cli" run --demo >/dev/null 2>&1 && mv temp.qkt demo.qkt && rm -f demo.img)
    cp "$samples" "$1/samples.qkl"
    "$cli" library "$1/lib.qkl" "$1/demo.qkt" "$1/demo.qkt" >/dev/null
    printf 'not a result' >"$1/text.qkc"
}

# The measured fields of bench and access become N.
mask() {
    sed -E 's/"(max|min|zone_rate|median|stddev|mean)": [0-9]+/"\1": N/g'
}

# One answer per file: stdout, then the exit code.
answer() {
    local name=$1
    shift
    local code=0
    (cd "$work" && "$cli" "$@" 2>/dev/null) >"$out/$name.json" || code=$?
    echo "exit $code" >>"$out/$name.json"
}

answerAll() {
    answer list list --json
    answer show-demo show demo.qkt --json
    answer show-lib0 show lib.qkl --member 0 --json
    answer show-samples show samples.qkl --json
    answer show-missing show missing.qkt --json
    answer show-text show text.qkc --json
    answer show-member show lib.qkl --member 5 --json
    answer dump-demo dump demo.qkt --json
    answer dump-lib1 dump lib.qkl --member 1 --json
    answer dump-samples dump samples.qkl --json
    answer dump-missing dump missing.qkt --json
    answer dump-member dump lib.qkl --member 9 --json
    rm -f "$work/card.img" "$work/key.img"
    truncate -s 16M "$work/card.img"
    truncate -s 16M "$work/key.img"
    answer capacity capacity --device key.img --yes --json
    answer bench-read bench --device card.img --read --block 65536 --timed 1048576 --json
    answer bench-write bench --device card.img --write --block 4096 --timed 65536 --yes --json
    answer bench-full bench --device card.img --read --block 65536 --zones 3 --full --json
    answer access-seq access --device card.img --sequential --count 64 --json
    answer access-rand access --device card.img --count 32 --json
    for f in "$out"/bench-*.json "$out"/access-*.json; do
        mask <"$f" >"$f.masked" && mv "$f.masked" "$f"
    done
}

work=$dir/inputs
case $mode in
capture)
    makeInputs "$work"
    out=$dir/answers
    mkdir -p "$out"
    answerAll
    echo "captured $(ls "$out" | wc -l) answers in $out"
    ;;
compare)
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    answerAll
    diff -r "$dir/answers" "$out" && echo "all $(ls "$out" | wc -l) answers are byte-identical"
    ;;
*)
    echo "usage: $0 capture|compare CLI DIR" >&2
    exit 2
    ;;
esac
