#!/usr/bin/env bash
# Set-up of the scenario whose catalogue nginx serves in place of the catalogue server
# (run-scenario.sh --setup, with --no-server): nginx on the address of the catalogue URL, its
# document root SCRATCH/catalogue, and everything else it writes in SCRATCH/nginx, so that it
# runs as root or as any user:
#   URL-PATH/...     files as nginx serves them by default
#   URL-PATH/gz/...  gzip_static always: where FILE.gz lies beside FILE, nginx sends it in
#                    FILE's place with "Content-Encoding: gzip", whatever the request accepts
#   SCRATCH/nginx/access.log
#                    a line per request, "METHOD URI STATUS VERSION" as the catalogue server
#                    logs them, then the Content-Encoding sent ("-": none) and the body's bytes
#
# usage: nginx.sh setup|teardown SCRATCH URL    (URL: the catalogue URL, http://127.0.0.1:PORT/.../)
# Exits 77 when nginx is not installed (tools/install-deps.sh installs it).
set -u

action=${1:-} scratch=${2:-} url=${3:-}
[[ ($action == setup || $action == teardown) && -n $scratch ]] || {
    echo "usage: nginx.sh setup|teardown SCRATCH URL" >&2
    exit 2
}
scratch=$(realpath -m "$scratch")  # nginx takes relative paths from its prefix
dir="$scratch/nginx"
pid_file="$dir/nginx.pid"

# Whether process PID runs: it exists and is not a zombie its reaper has yet to collect.
running() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    [[ ${stat##*) } != Z* ]]
}

# Stops the nginx started for SCRATCH, if one runs, and waits until it has gone. Its master
# ends once its workers have.
teardown() {
    [[ -f $pid_file ]] || return 0
    local pid
    pid=$(cat "$pid_file")
    # Its title names its configuration: no other process is taken for it.
    if [[ ! $pid =~ ^[0-9]+$ ]] || ! grep -qsF "$dir/nginx.conf" "/proc/$pid/cmdline"; then
        rm -f "$pid_file"
        return 0
    fi
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 100; i++)); do
        running "$pid" || { echo "stopped nginx $pid"; return 0; }
        sleep 0.1
    done
    echo "nginx.sh: nginx $pid still runs 10 s after TERM; killed" >&2
    kill -KILL "$pid" 2>/dev/null
    return 1
}

if [[ $action == teardown ]]; then
    teardown
    exit
fi

[[ $url =~ ^http://127\.0\.0\.1:([0-9]+)(/.*/)$ ]] || {
    echo "nginx.sh: the catalogue URL must be http://127.0.0.1:PORT/.../ (got '$url')" >&2
    exit 2
}
port=${BASH_REMATCH[1]}
url_path=${BASH_REMATCH[2]}
nginx=$(PATH=$PATH:/usr/sbin command -v nginx) || {
    echo "nginx.sh: nginx is not installed" >&2
    exit 77
}

mkdir -p "$dir/temp" || exit 1
# As root the master would run its workers as nobody, who may not read the scratch folder.
user=""
[[ $(id -u) -eq 0 ]] && user="user root root;"
cat >"$dir/nginx.conf" <<EOF
$user
worker_processes 1;
pid "$pid_file";
error_log "$dir/error.log" notice;
events {
    worker_connections 64;
}
http {
    log_format catalogue '\$request_method \$request_uri \$status \$server_protocol '
                         '\$sent_http_content_encoding \$body_bytes_sent';
    access_log "$dir/access.log" catalogue;
    client_body_temp_path "$dir/temp/body";
    proxy_temp_path "$dir/temp/proxy";
    fastcgi_temp_path "$dir/temp/fastcgi";
    uwsgi_temp_path "$dir/temp/uwsgi";
    scgi_temp_path "$dir/temp/scgi";
    server {
        listen 127.0.0.1:$port;
        root "$scratch/catalogue";
        location / {
        }
        location ${url_path}gz/ {
            gzip_static always;
        }
    }
}
EOF

# nginx returns once it has bound its port and gone into the background, where it writes the
# pid file.
if ! "$nginx" -p "$dir/" -c "$dir/nginx.conf" -e "$dir/error.log" \
    </dev/null >"$dir/nginx.out" 2>&1; then
    echo "nginx.sh: nginx did not start (its log: $dir/error.log):" >&2
    cat "$dir/nginx.out" >&2
    exit 1
fi
for ((i = 0; i < 100; i++)); do
    [[ -s $pid_file ]] && break
    sleep 0.1
done
[[ -s $pid_file ]] || { echo "nginx.sh: nginx wrote no pid file within 10 s" >&2; exit 1; }
version=$("$nginx" -v 2>&1)
echo "${version#*: } (pid $(cat "$pid_file")) on 127.0.0.1:$port serving $scratch/catalogue"
