#!/usr/bin/env bash
# The update check and the upload of qkvorn-cli against real servers the team did not
# write: nginx (nginx-light) and Postfix, configured in a temporary folder on loopback
# ports, started and stopped here; the machine's own web and mail set-up is never
# touched. Postfix runs as root, so the stage skips itself (with the reason) without
# root or without the packages. Usage: tests/servers/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=$(realpath "${1:-build}/qkvorn-cli")
skip() {
    echo "servers stage skipped: $*"
    exit 0
}
[ "$(id -u)" = 0 ] || skip "Postfix needs root"
for tool in nginx postfix openssl python3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done
[ -x "$cli" ] || { echo "no qkvorn-cli at $cli: build first" >&2; exit 1; }
version=$(sed -n 's/^project(QkVorn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

work=$(mktemp -d /tmp/vorn-servers-XXXXXX)
chmod 755 "$work"
nginx_pid=""
postfix_up=""
failures=0
stop() {
    if [ -n "$postfix_up" ]; then postfix -c "$work/pf" stop >/dev/null 2>&1 || true; fi
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    if [ "$failures" != 0 ]; then
        tail -n 5 "$work"/*/out.txt "$work"/*/err.txt "$work/pf/maillog" 2>/dev/null | tail -n 60
    fi
    rm -rf "$work"
}
trap stop EXIT

read -r web portal hops gz mail unknown site <<<"$(python3 -c "import socket
s = [socket.socket() for _ in range(7)]
for x in s: x.bind(('127.0.0.1', 0))
print(' '.join(str(x.getsockname()[1]) for x in s))")"

check() { # check NAME COMMAND...: one line per check; the stage fails if any does
    if "${@:2}"; then
        echo "ok   $1"
    else
        echo "FAIL $1"
        failures=$((failures + 1))
    fi
}
exited() { [ "$(cat "$work/$1/rc")" = "$2" ]; }
has() { grep -qF -- "$2" "$1"; }
hasnt() { ! grep -qF -- "$2" "$1"; }

# A real library made by the program itself from a real run on an image file.
make_files() {
    mkdir -p "$work/make" "$work/www/qkvorn" "$work/gz/qkvorn"
    (cd "$work/make" && truncate -s 16M key.img &&
        "$cli" run --device key.img --write --yes >/dev/null 2>&1 &&
        "$cli" library A.QKL temp.qkt >/dev/null)
    cp "$work/make/A.QKL" "$work/www/qkvorn/A.QKL"
    printf '<!DOCTYPE html>\n<html><body>Please sign in</body></html>\n' >"$work/www/portal.html"
    printf '%s\nA.QKL\n' "$version" >"$work/www/qkvorn/updates$version"
    printf '%s\nGONE.QKL\n' "$version" >"$work/gz/qkvorn/updates$version"
    gzip -c "$work/make/A.QKL" >"$work/gz/qkvorn/GONE.QKL.gz"
}

start_nginx() {
    mkdir -p "$work/nginx"
    cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
user root;
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 64; }
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    default_type application/octet-stream;
    types { text/html html; text/css css; application/javascript js; image/svg+xml svg;
            application/json json; }
    log_format agent '\$request_uri "\$http_user_agent" "\$http_accept_encoding"';
    # The maker's server, with a CDN's habit: a missing file is a page with 200.
    server {
        listen 127.0.0.1:$web;
        root $work/www;
        access_log $work/nginx/agents.log agent;
        location /qkvorn/ { try_files \$uri /portal.html; }
    }
    # A hotel network: every address answers with its sign-in page.
    server {
        listen 127.0.0.1:$portal;
        location / { default_type text/html; return 200 '<html><body>Sign in</body></html>'; }
    }
    # Two redirections before the file.
    server {
        listen 127.0.0.1:$hops;
        location /qkvorn/ { return 302 /one\$request_uri; }
        location /one/ { rewrite ^/one(.*)\$ /two\$1 redirect; }
        location /two/qkvorn/ { alias $work/www/qkvorn/; }
    }
    # The maker's own site: what publish wrote, served under the update path.
    server {
        listen 127.0.0.1:$site;
        location /qkvorn/ { alias $work/site/; }
    }
    # Compressed copies sent whatever the client asked for.
    server {
        listen 127.0.0.1:$gz;
        root $work/gz;
        gzip_static always;
    }
}
CONF
    nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
    nginx_pid=$!
}

start_postfix() {
    local pf=$work/pf
    mkdir -p "$pf/mail" "$pf/queue" "$pf/data"
    chown postfix "$pf/data"
    chown 65534:65534 "$pf/mail"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$pf/key.pem" -out "$pf/cert.pem" 2>/dev/null
    # Strict, as a careful provider sets it: a qualified EHLO name, no bare line feeds,
    # no pipelining, TLS offered; the results mailbox delivered into a Maildir.
    cat >"$pf/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $pf/queue
data_directory = $pf/data
maillog_file = $pf/maillog
maillog_file_prefixes = $pf
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
myhostname = mx.servers-stage.test
mydestination =
local_transport = error:no local delivery here
alias_maps =
alias_database =
mynetworks = 127.0.0.0/8
virtual_mailbox_domains = velto.example
virtual_mailbox_base = $pf/mail
virtual_mailbox_maps = inline:{ results@velto.example=results/ }
virtual_mailbox_limit = 0
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
smtpd_helo_required = yes
smtpd_helo_restrictions = reject_invalid_helo_hostname, reject_non_fqdn_helo_hostname
smtpd_recipient_restrictions = reject_unauth_destination
smtpd_forbid_bare_newline = yes
smtpd_forbid_bare_newline_exclusions =
smtpd_discard_ehlo_keywords = pipelining
smtpd_data_restrictions = reject_unauth_pipelining
smtpd_tls_security_level = may
smtpd_tls_cert_file = $pf/cert.pem
smtpd_tls_key_file = $pf/key.pem
smtpd_tls_received_header = yes
# Room for the huge upload the maker's side must refuse by itself.
message_size_limit = 80000000
CONF
    {
        echo "127.0.0.1:$mail inet n - n - - smtpd"
        # The same server where the results mailbox does not exist.
        echo "127.0.0.1:$unknown inet n - n - - smtpd -o virtual_mailbox_maps=inline:{x@velto.example=x/}"
        for service in "pickup unix n - n 60 1 pickup" "cleanup unix n - n - 0 cleanup" \
            "qmgr unix n - n 300 1 qmgr" "tlsmgr unix - - n 1000? 1 tlsmgr" \
            "rewrite unix - - n - - trivial-rewrite" "bounce unix - - n - 0 bounce" \
            "defer unix - - n - 0 bounce" "trace unix - - n - 0 bounce" \
            "verify unix - - n - 1 verify" "flush unix n - n 1000? 0 flush" \
            "proxymap unix - - n - - proxymap" "smtp unix - - n - - smtp" \
            "showq unix n - n - - showq" "error unix - - n - - error" \
            "retry unix - - n - - error" "discard unix - - n - - discard" \
            "virtual unix - n n - - virtual" "anvil unix - - n - 1 anvil" \
            "scache unix - - n - 1 scache" "postlog unix-dgram n - n - 1 postlogd"; do
            echo "$service"
        done
    } >"$pf/master.cf"
    # check creates the queue; both log to maillog_file, shown when start fails.
    if ! postfix -c "$pf" check >"$work/postfix.txt" 2>&1 ||
        ! postfix -c "$pf" start >>"$work/postfix.txt" 2>&1; then
        cat "$work/postfix.txt" "$pf/maillog" >&2 2>/dev/null || true
        return 1
    fi
    postfix_up=yes
}

wait_for_port() {
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "nothing listens on port $1" >&2
    return 1
}

# The delivered message: waits for the queue to hand it to the Maildir.
delivered() {
    for _ in $(seq 150); do
        local file
        file=$(find "$work/pf/mail/results/new" -type f 2>/dev/null | head -1)
        if [ -n "$file" ]; then
            cp "$file" "$work/delivered.eml"
            return 0
        fi
        sleep 0.2
    done
    return 1
}

update() { # update FOLDER PORT: one update check in a fresh folder
    mkdir -p "$work/$1"
    (cd "$work/$1" && "$cli" update --yes --server "http://127.0.0.1:$2" >out.txt 2>err.txt) && echo 0 >"$work/$1/rc" ||
        echo $? >"$work/$1/rc"
}

upload() { # upload FOLDER PORT [ARGS...]: the run's result uploaded from a terminal-only folder
    mkdir -p "$work/$1"
    cp "$work/make/temp.qkt" "$work/make/vorntest.log" "$work/$1/"
    cp "$work/make/temp.qkt" "$work/$1/Stick Größe 16GB.qkc"
    (cd "$work/$1" && "$cli" upload "Stick Größe 16GB.qkc" --mail-server "127.0.0.1:$2" "${@:3}" \
        >out.txt 2>err.txt) && echo 0 >"$work/$1/rc" || echo $? >"$work/$1/rc"
}

make_files
start_nginx
start_postfix
for port in $web $portal $hops $gz $mail $unknown $site; do wait_for_port "$port"; done

update sound "$web"
check "update from nginx keeps the library" cmp -s "$work/sound/A.QKL" "$work/www/qkvorn/A.QKL"
check "update from nginx exits 0" exited sound 0
check "requests name the program and ask for identity" \
    has "$work/nginx/agents.log" "\"QKVorn/$version\" \"identity\""
printf '%s\nGONE.QKL\n' "$version" >"$work/www/qkvorn/updates$version"
update soft404 "$web"
check "a soft 404 is not kept" test ! -e "$work/soft404/GONE.QKL"
check "a soft 404 is named" has "$work/soft404/out.txt" "GONE.QKL was not kept: it is a web page"
update portal "$portal"
check "a sign-in page is no update list" \
    has "$work/portal/out.txt" "Error during update. The update server answered with a web page"
check "a sign-in page is not 'nothing new'" hasnt "$work/portal/out.txt" "No new benchmark"
check "a failed update exits 1" exited portal 1
printf '%s\nA.QKL\n' "$version" >"$work/www/qkvorn/updates$version"
update hops "$hops"
check "two redirections are followed" cmp -s "$work/hops/A.QKL" "$work/www/qkvorn/A.QKL"
update gz "$gz"
check "gzip sent unasked is refused" has "$work/gz/out.txt" "Content-Encoding gzip"
check "gzip sent unasked is not kept" test ! -e "$work/gz/GONE.QKL"

upload untrusted "$mail"
check "an untrusted STARTTLS ends the send" \
    has "$work/untrusted/out.txt" "The encrypted connection to the mail server failed"
upload unknown "$unknown" --mail-ca "$work/pf/cert.pem"
check "a refused recipient is told in the server's words" \
    has "$work/unknown/out.txt" "The mail server answered: 550 5.1.1 <results@velto.example>"
upload sent "$mail" --mail-ca "$work/pf/cert.pem"
check "Postfix takes the upload" exited sent 0
check "the notice names the server used" has "$work/sent/err.txt" "Sending benchmark data to 127.0.0.1!"
check "the message is delivered" delivered
if [ -e "$work/delivered.eml" ]; then
    eml=$work/delivered.eml
    check "it travelled encrypted" grep -q "using TLS" "$eml"
    check "it has a Message-ID" grep -qi "^Message-ID: <.*@.*\..*>" "$eml"
    check "the subject is RFC 2047 encoded" grep -q "^Subject: =?UTF-8?B?" "$eml"
    check "the file name is RFC 2231 encoded" has "$eml" "filename*=UTF-8''Stick%20Gr%C3%B6%C3%9Fe%2016GB.qkc"
    check "only 7-bit bytes" python3 -c "import sys; sys.exit(any(b > 127 for b in open('$eml','rb').read()))"
    check "the missing start-up log is named" python3 -c "
import email, sys
m = email.message_from_binary_file(open('$eml', 'rb'))
body = [p for p in m.walk() if p.get_content_type() == 'text/plain'][0].get_payload(decode=True)
sys.exit(b'vorninit.log is not attached' not in body)"
fi
. tests/servers/maker.sh
echo "servers stage: $failures failed"
[ "$failures" = 0 ]
