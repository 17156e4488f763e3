#!/usr/bin/env bash
# Starts a PostgreSQL server for a shared world in a folder of its own, and prints the URL to give
# quillotide-cli and the world editor:
#   shared-world.sh DIR          makes the cluster in DIR on the first run, starts the server and
#                                creates the database "world" when it is missing
#   shared-world.sh --stop DIR   stops the server of DIR
# The server listens on a Unix socket in DIR/socket only (no network port) and lets every login
# through that socket in without a password; the socket's folder is open to the server's account
# alone (and root), so nobody else on the machine reaches it. No system service is touched. As
# root the server runs under the postgres account of the Debian package, which then owns DIR.
set -euo pipefail

usage() {
  echo "usage: shared-world.sh DIR | shared-world.sh --stop DIR" >&2
  exit 2
}

stop=0
if [ "${1:-}" = --stop ]; then
  stop=1
  shift
fi
[ $# -eq 1 ] && [ -n "$1" ] || usage
case "$1" in -*) usage ;; esac
dir="$(realpath -m -- "$1")"
data="$dir/data"
socket="$dir/socket"
log="$dir/server.log"

# The newest server installed, as Debian lays them out.
bin=""
for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V); do
  [ -x "$d/pg_ctl" ] && [ -x "$d/initdb" ] && bin="$d"
done
if [ -z "$bin" ]; then
  echo "shared-world.sh: no PostgreSQL server is installed (/usr/lib/postgresql/*/bin);" \
    "apt-get install postgresql" >&2
  exit 1
fi

# The server refuses to run as root.
as=()
if [ "$(id -u)" -eq 0 ]; then
  if ! id postgres >/dev/null 2>&1; then
    echo "shared-world.sh: running as root and there is no postgres account to run the server" >&2
    exit 1
  fi
  as=(runuser -u postgres --)
fi

if [ "$stop" -eq 1 ]; then
  if [ -f "$data/postmaster.pid" ] && "${as[@]}" "$bin/pg_ctl" -D "$data" status >/dev/null 2>&1; then
    "${as[@]}" "$bin/pg_ctl" -D "$data" -m fast -w stop >/dev/null
    echo "The server of $dir was stopped."
  else
    echo "No server runs in $dir."
  fi
  exit 0
fi

if [ -e "$dir" ] && [ ! -d "$dir" ]; then
  echo "shared-world.sh: $dir is no folder" >&2
  exit 1
fi
mkdir -p "$dir"
if [ "$(id -u)" -eq 0 ]; then
  chown postgres:postgres "$dir"
  if ! runuser -u postgres -- test -w "$dir"; then
    echo "shared-world.sh: the postgres account cannot write in $dir (a folder above it is closed" \
      "to it); choose a folder it can reach, such as one under /var/tmp or /srv" >&2
    exit 1
  fi
fi
# The superuser is named after whoever runs this, so the URL needs no user name for them.
super="$(id -un)"

if [ ! -f "$data/PG_VERSION" ]; then
  if [ -e "$data" ] && [ -n "$(ls -A "$data" 2>/dev/null)" ]; then
    echo "shared-world.sh: $data holds files but no PostgreSQL cluster; nothing was changed" >&2
    exit 1
  fi
  "${as[@]}" mkdir -p "$socket"
  "${as[@]}" chmod 0700 "$socket"
  if ! "${as[@]}" "$bin/initdb" -D "$data" -U "$super" -E UTF8 --auth-local=trust \
    --auth-host=reject >"$dir/initdb.log" 2>&1; then
    echo "shared-world.sh: initdb failed (see $dir/initdb.log)" >&2
    exit 1
  fi
  # Settings in the cluster's own configuration, so every later start is the same.
  quotedSocket="${socket//\'/\'\'}"
  "${as[@]}" tee -a "$data/postgresql.conf" >/dev/null <<EOF

# shared-world.sh: a Unix socket in the cluster's folder, no network port.
listen_addresses = ''
unix_socket_directories = '$quotedSocket'
unix_socket_permissions = 0700
EOF
  echo "A new cluster was made in $data."
fi

if "${as[@]}" "$bin/pg_ctl" -D "$data" status >/dev/null 2>&1; then
  echo "The server of $dir runs already."
else
  if ! "${as[@]}" "$bin/pg_ctl" -D "$data" -l "$log" -w -t 60 start >/dev/null; then
    echo "shared-world.sh: the server did not start (see $log)" >&2
    exit 1
  fi
  echo "The server runs (log: $log)."
fi

psqlIn=("$bin/psql" -X -q -h "$socket" -U "$super" -d postgres -v ON_ERROR_STOP=1 -tA)
if [ "$("${psqlIn[@]}" -c "SELECT 1 FROM pg_database WHERE datname = 'world'")" != 1 ]; then
  "${psqlIn[@]}" -c "CREATE DATABASE world"
  echo "The database world was created."
fi

# A URL's text for the path: every byte outside the plain characters escaped.
urlEncoded() {
  local LC_ALL=C text="$1" out="" c i
  for ((i = 0; i < ${#text}; i++)); do
    c="${text:i:1}"
    case "$c" in
      [A-Za-z0-9/._~-]) out+="$c" ;;
      *) out+="$(printf '%%%02X' "'$c")" ;;
    esac
  done
  printf '%s' "$out"
}
url="postgresql:///world?host=$(urlEncoded "$socket")"
cat <<EOF

URL: $url
  quillotide-cli shared init '$url'
  quillotide-cli shared import '$url' --client CLIENT_FOLDER
  quillotide-cli shared info '$url'
A builder logs in with the URL and &user=NAME. Stop the server with:
  scripts/shared-world.sh --stop $(printf '%q' "$dir")
EOF
