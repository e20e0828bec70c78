#!/usr/bin/env bash
# Builds the Release Debian package, validates its desktop entry and metainfo,
# installs it with apt, runs the installed terminal front end as a plain user on the
# demo image, and removes the package again (also when a step fails). Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-package
user=vorntest
export DEBIAN_FRONTEND=noninteractive

# A packager's build: Release (-O3), without -Werror, without tests or benchmarks, for
# a maker who hosts the service at addresses of its own.
site=https://results.qkvorn.test:8443/vorn
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCHMARKS=OFF \
    -DVORN_WEB_SITE=$site -DVORN_UPDATE_PATH=/files/%s -DVORN_MAIL_SERVER=mx.qkvorn.test \
    -DVORN_MAIL_PORT=587 -DVORN_RESULTS_MAILBOX=uploads@qkvorn.test
cmake --build "$dir" -j2
rm -f "$dir"/qkvorn_*.deb
(cd "$dir" && cpack -G DEB)

version=$(sed -n 's/^project(QkVorn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$PWD/$dir/qkvorn_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "package-test: $deb was not made" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *udisks2* ]] || { echo "package-test: no udisks2 dependency" >&2; exit 1; }
[[ $depends == *libqt6widgets6* ]] || { echo "package-test: no shared-library dependencies" >&2; exit 1; }
[[ $depends == *liburing2* ]] || { echo "package-test: no liburing2 for the extended tests" >&2; exit 1; }

installed=0
made_user=0
work=""
cleanup() {
    if [[ -n $work ]]; then rm -rf "$work"; fi
    if [[ $installed == 1 ]]; then
        apt-get remove -y qkvorn >/dev/null || echo "package-test: qkvorn could not be removed" >&2
    fi
    if [[ $made_user == 1 ]]; then userdel -r "$user" 2>/dev/null || userdel "$user"; fi
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' qkvorn 2>/dev/null | grep -q "install ok installed"; then
    echo "package-test: qkvorn is already installed; not touching it" >&2
    exit 1
fi
installed=1
apt-get install -y "$deb"

for f in /usr/bin/qkvorn /usr/bin/qkvorn-cli /usr/share/man/man1/qkvorn.1 \
    /usr/share/man/man1/qkvorn-cli.1 /usr/share/icons/hicolor/scalable/apps/example.velto.qkvorn.svg; do
    [[ -s $f ]] || { echo "package-test: $f is not installed" >&2; exit 1; }
done
for size in 48 64 128 256; do
    kind=$(file -b /usr/share/icons/hicolor/${size}x$size/apps/example.velto.qkvorn.png)
    [[ $kind == "PNG image data, $size x $size,"* ]] || { echo "package-test: no ${size}px icon: $kind" >&2; exit 1; }
done
# The installed program and its manual name the maker's servers the build was given.
/usr/bin/qkvorn-cli --version >"$dir/version.txt"
for line in "web site: $site" "update list: $site/files/updates$version" \
    "mail server: mx.qkvorn.test:587" "results mailbox: uploads@qkvorn.test"; do
    grep -qF "$line" "$dir/version.txt" || { echo "package-test: --version lacks '$line'" >&2; exit 1; }
done
man_page=$(zcat -f /usr/share/man/man1/qkvorn-cli.1*)
[[ $man_page == *"uploads@qkvorn.test"* && $man_page == *"$site"* ]] ||
    { echo "package-test: the manual does not name the build's servers" >&2; exit 1; }
desktop-file-validate /usr/share/applications/example.velto.qkvorn.desktop
appstreamcli validate --no-net /usr/share/metainfo/example.velto.qkvorn.metainfo.xml
# Every library the programs need came with the package's dependencies.
libraries=$(ldd /usr/bin/qkvorn /usr/bin/qkvorn-cli)
if [[ $libraries == *"not found"* ]]; then
    echo "package-test: missing libraries:" >&2
    echo "$libraries" >&2
    exit 1
fi

if ! id "$user" >/dev/null 2>&1; then
    useradd --create-home --shell /bin/bash "$user"
    made_user=1
fi
work=$(mktemp -d)
chown "$user:" "$work"
runuser -u "$user" -- env -C "$work" /usr/bin/qkvorn-cli run --demo >"$work/run.out"
grep -q "Read Speed" "$work/run.out" || { echo "package-test: run printed no chart summary" >&2; exit 1; }
for f in temp.qkt event.log; do
    [[ -s $work/$f ]] || { echo "package-test: the run wrote no $f" >&2; exit 1; }
    [[ $(stat -c %U "$work/$f") == "$user" ]] || { echo "package-test: $f is not $user's" >&2; exit 1; }
done
# The result the installed program wrote reads back with it.
runuser -u "$user" -- env -C "$work" /usr/bin/qkvorn-cli show temp.qkt >/dev/null
# The extended tests' queue works for the installed program as a plain user.
runuser -u "$user" -- env -C "$work" /usr/bin/qkvorn-cli bench --device demo.img --read \
    --random --queue 8 --seconds 1 >"$work/queued.out"
grep -q "IOPS" "$work/queued.out" || { echo "package-test: the queued test printed no IOPS" >&2; exit 1; }
cat "$work/run.out"

apt-get remove -y qkvorn
installed=0
[[ ! -e /usr/bin/qkvorn-cli && ! -e /usr/bin/qkvorn ]] || { echo "package-test: programs left after removal" >&2; exit 1; }
echo "package-test: passed"
