# The maker's side of the loop, sourced by run.sh once the upload has been delivered:
# more uploads and the hostile messages go through the same Postfix into its Maildir;
# ingest files them, publish writes the libraries, the update list and the site; nginx
# serves the site under the update path, where the program's own update check fetches
# the new library and headless Chromium reads the rendered table.

maildir=$work/pf/mail/results
results=$work/results
huge=$((40 * 1024 * 1024))

# Every message the mail server took is in the Maildir before ingest starts.
all_delivered() { # all_delivered COUNT
    for _ in $(seq 300); do
        [ "$(find "$maildir/new" -type f | wc -l)" -ge "$1" ] && return 0
        sleep 0.2
    done
    return 1
}
ingest() { # ingest FOLDER: one ingest of the results Maildir
    mkdir -p "$work/$1"
    "$cli" ingest "$maildir" --into "$results" >"$work/$1/out.txt" 2>"$work/$1/err.txt" &&
        echo 0 >"$work/$1/rc" || echo $? >"$work/$1/rc"
}
count() { find "$1" -maxdepth 1 -type f -name "$2" | wc -l; }
is() { [ "$1" = "$2" ] || { echo "  got '$1', expected '$2'" >&2; return 1; }; }

# A second device's result, measured with the write test, and the first one again. The
# device is named like markup (an image file's name is its product): the site must show
# that text as text, everywhere.
markup="<img src=x onerror=document.title='owned'>"
(cd "$work/make" && mkdir -p two && cd two && truncate -s 24M "stick$markup.img" &&
    "$cli" run --device "stick$markup.img" --write --yes >/dev/null 2>&1)
mkdir -p "$work/second"
cp "$work/make/two/temp.qkt" "$work/make/two/vorntest.log" "$work/second/"
cp "$work/make/two/temp.qkt" "$work/second/Stick Größe 16GB.qkc"
(cd "$work/second" && "$cli" upload "Stick Größe 16GB.qkc" --mail-server "127.0.0.1:$mail" \
    --mail-ca "$work/pf/cert.pem" >out.txt 2>err.txt) && echo 0 >"$work/second/rc" || echo $? >"$work/second/rc"
check "a second device's upload is taken" exited second 0
upload again "$mail" --mail-ca "$work/pf/cert.pem"
check "the same upload again is taken" exited again 0
python3 tests/servers/hostile_mail.py "127.0.0.1:$mail" results@velto.example \
    "$work/make/temp.qkt" "$work/make/A.QKL" "$huge" >"$work/hostile.txt" 2>&1
check "Postfix takes the eight hostile messages" is "$(wc -l <"$work/hostile.txt")" 8
# The first upload, the second device, the first again, the eight hostile ones.
check "every message reaches the Maildir" all_delivered 11

ingest ingest
check "ingest exits 0" exited ingest 0
check "two devices, two result files" is "$(count "$results" '*.qkc')" 2
check "every accepted message moves to cur/" is "$(count "$maildir/cur" '*:2,S')" 4
check "nothing is left in new/" is "$(count "$maildir/new" '*')" 0
check "seven hostile messages are rejected" is "$(count "$maildir/.Rejected/cur" '*')" 7
log=$results/ingest.log
for reason in "not a MIME message" "no attachment" "no result among" "damaged result" "truncated result" \
    "a library file, not a result" "larger than 32 MiB"; do
    check "ingest.log says why: $reason" has "$log" "$reason"
done
check "a name with a path chooses no path" test ! -e "$work/etc/passwd"
check "a name's control characters are not logged raw" hasnt "$log" $'\x1b'
check "the log shows the hostile name escaped" has "$log" '\x1B'
ingest again-ingest
check "a second ingest changes nothing" has "$work/again-ingest/out.txt" "0 accepted, 0 duplicates, 0 rejected"

mkdir -p "$work/publish"
"$cli" publish "$results" --out "$work/site" >"$work/publish/out.txt" 2>&1 &&
    echo 0 >"$work/publish/rc" || echo $? >"$work/publish/rc"
check "publish exits 0" exited publish 0
check "publish writes the update list" test -s "$work/site/updates$version"
check "the update list names this version first" is "$(head -1 "$work/site/updates$version")" "$version"

# The program's own update check against the published site, in a fresh folder.
update fetch "$site"
check "update from the published site exits 0" exited fetch 0
libraries=$(tail -n +2 "$work/site/updates$version" | grep -v '^;' | grep -v '^$' || true)
check "the update list names libraries" test -n "$libraries"
shown=""
for name in $libraries; do
    check "the update check fetched $name" cmp -s "$work/site/$name" "$work/fetch/$name"
    members=$("$cli" dump "$work/fetch/$name" --json 2>/dev/null |
        python3 -c "import json, sys; print(json.load(sys.stdin)['members'])" || echo 0)
    for ((m = 0; m < members; m++)); do
        shown+=$("$cli" show "$work/fetch/$name" --member "$m" 2>&1)
    done
done
check "show on the fetched libraries lists the first upload" grep -qF "key.img" <<<"$shown"
check "show on the fetched libraries lists the second device" grep -qF "stick$markup.img" <<<"$shown"

# A visitor's browser: the rendered table and a sort by maximum write.
if command -v chromium >/dev/null && command -v chromedriver >/dev/null; then
    shot=${VORN_SITE_SCREENSHOT:-$work/site.png}
    python3 tests/servers/site_check.py "http://127.0.0.1:$site/qkvorn/index.html" --rows 2 \
        --names key.img --markup "stick$markup.img" --screenshot "$shot" >"$work/browser.txt" 2>&1 ||
        true
    sed 's/^/    /' "$work/browser.txt"
    check "headless Chromium reads and sorts the table" hasnt "$work/browser.txt" "FAIL"
    check "headless Chromium made its checks" has "$work/browser.txt" "ok   a click sorts"
    check "headless Chromium compared the results" has "$work/browser.txt" "ok   each result has"
else
    echo "browser checks skipped: chromium or chromedriver is not installed (scripts/install-deps.sh)"
fi
