#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/) and fuzzes each for a fixed
# time, seeded with files the program makes itself:
#   vorn_fuzz_results    the result and library readers: a whole run's temp.qkt, a
#                        library of it, the sample library
#   vorn_fuzz_ingest     the maker's MIME reader and upload verdict: that result sent
#                        by `qkvorn-cli upload` to a loopback aiosmtpd and stored as it
#                        arrived, and a text that is no mail
#   vorn_fuzz_event_log  the timeline's event-log reader: the run's event.log
#
#   scripts/fuzz.sh [SECONDS]        (default 60, for each target)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
seconds=${1:-60}
root=$PWD
targets=(vorn_fuzz_results vorn_fuzz_ingest vorn_fuzz_event_log)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON \
    -DVORN_WERROR=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCHMARKS=OFF -DVORN_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}" qkvorn-cli

corpus=build-fuzz/corpus
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-fuzz-seed.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus/results" "$corpus/ingest" "$corpus/event_log"
cp samples/qkvorn-samples.qkl "$corpus/results/"
( cd "$work" && truncate -s 32M seed.img &&
  ASAN_OPTIONS=detect_leaks=0 "$root/build-fuzz/qkvorn-cli" run --device seed.img --write --yes >/dev/null 2>&1 &&
  cp temp.qkt "$root/$corpus/results/run.qkt" &&
  "$root/build-fuzz/qkvorn-cli" library "$root/$corpus/results/run.qkl" temp.qkt >/dev/null )

# The event log whole, and its first and last rows (a whole log is past -max_len).
cp "$work/event.log" "$corpus/event_log/event.log"
{ head -n 400 "$work/event.log"; tail -n 400 "$work/event.log"; } >"$corpus/event_log/ends.log"

# One upload as a mail server receives it: a loopback aiosmtpd keeps the message's bytes.
cat >"$work/smtp.py" <<'PY'
import socket, sys, time
from aiosmtpd.controller import Controller
out, port_file = sys.argv[1], sys.argv[2]
class Keep:
    async def handle_DATA(self, server, session, envelope):
        with open(out, 'wb') as f:
            f.write(envelope.original_content)
        return '250 OK'
probe = socket.socket()
probe.bind(('127.0.0.1', 0))
port = probe.getsockname()[1]
probe.close()
controller = Controller(Keep(), hostname='127.0.0.1', port=port)
controller.start()
with open(port_file, 'w') as f:
    f.write(str(port))
deadline = time.time() + 60
while time.time() < deadline:
    try:
        open(out, 'rb').close()
        break
    except OSError:
        time.sleep(0.1)
controller.stop()
PY
/usr/bin/python3 "$work/smtp.py" "$work/upload.eml" "$work/port" &
smtp=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
( cd "$work" && cp temp.qkt "Stick Größe 16GB.qkc" &&
  ASAN_OPTIONS=detect_leaks=0 "$root/build-fuzz/qkvorn-cli" upload "Stick Größe 16GB.qkc" \
      --mail-server "127.0.0.1:$(cat port)" >/dev/null 2>&1 )
wait "$smtp"
cp "$work/upload.eml" "$corpus/ingest/upload.eml"
printf 'Hello,\nthis is no mail message at all.\n' >"$corpus/ingest/plain.txt"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Inputs grow to 64 KB: enough for a library of several members, an upload, and
# an event log of a few hundred rows.
status=0
for target in "${targets[@]}"; do
    name=${target#vorn_fuzz_}
    echo "== $target"
    build-fuzz/$target -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
        "$corpus/$name" 2>&1 | tee "build-fuzz/fuzz-$name.log" |
        grep -E "DONE|stat::|INFO: seed|ERROR|SUMMARY" || true
    # libFuzzer exits non-zero on a finding; tee hides it, so look at the log.
    if grep -qE "ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error:" \
        "build-fuzz/fuzz-$name.log"; then
        echo "== $target found a fault: build-fuzz/fuzz-$name.log"
        status=1
    fi
done
exit $status
