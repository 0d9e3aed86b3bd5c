#!/usr/bin/env bash
# Starts (start) or stops (stop) a throwaway OpenLDAP slapd for the directory tests, on
# 127.0.0.1 only, with its configuration and mdb database in a scratch folder:
#   slapd.sh start <folder> <seed.ldif>
#   slapd.sh stop <folder>
# The seed's top-level entries (DNs of one RDN) become the suffixes of the server's databases;
# the seed is added once the server answers. The schemas are core, cosine and inetorgperson; the
# administrator is cn=admin under the first suffix, with a password made at start.
# The port (a free one, picked at start), the administrator and the folder go to
# <folder>/slapd.env for the tests. Stop ends exactly the process that start recorded and
# removes the folder with the database.
set -euo pipefail
action=$1
folder=$2
python=/usr/bin/python3
schemas=/etc/ldap/schema

alive() {
  local state
  state=$(sed -n 's/^[0-9]* (.*) \([A-Z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

stop_slapd() {
  if [ -f "$folder/slapd.pid" ]; then
    pid=$(cat "$folder/slapd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do alive "$pid" || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$folder"
}

free_port() {
  "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_for_port() {
  for _ in $(seq 100); do
    if "$python" -c "import socket,sys; socket.create_connection(('127.0.0.1', int(sys.argv[1])), 0.2).close()" "$1" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "slapd: nothing answers on port $1" >&2
  return 1
}

# One mdb database per suffix (mdb takes one suffix each), all with the same administrator.
write_config() {
  local admin=$1
  shift
  local n=0
  {
    for schema in core cosine inetorgperson; do echo "include $schemas/$schema.schema"; done
    echo "pidfile $folder/slapd.pid"
    echo "modulepath /usr/lib/ldap"
    echo "moduleload back_mdb"
    for suffix in "$@"; do
      n=$((n + 1))
      mkdir -p "$folder/db$n"
      echo "database mdb"
      echo "suffix \"$suffix\""
      echo "rootdn \"$admin\""
      # The password is checked by the database holding the administrator's name.
      [ $n -eq 1 ] && echo "rootpw $password"
      echo "directory $folder/db$n"
    done
  } >"$folder/slapd.conf"
}

start_slapd() {
  local seed=$1
  stop_slapd
  mkdir -p "$folder"
  mapfile -t suffixes < <(sed -n 's/^dn: \([^,]*\)$/\1/p' "$seed")
  if [ ${#suffixes[@]} -eq 0 ]; then
    echo "slapd: $seed has no top-level entry" >&2
    exit 2
  fi
  password=$("$python" -c 'import secrets; print(secrets.token_hex(12))')
  port=$(free_port)
  admin="cn=admin,${suffixes[0]}"
  write_config "$admin" "${suffixes[@]}"
  /usr/sbin/slapd -f "$folder/slapd.conf" -h "ldap://127.0.0.1:$port/" >"$folder/slapd.log" 2>&1
  if ! wait_for_port "$port"; then
    cat "$folder/slapd.log" >&2
    stop_slapd
    exit 1
  fi
  if ! ldapadd -x -H "ldap://127.0.0.1:$port/" -D "$admin" -w "$password" -f "$seed" >"$folder/seed.log" 2>&1; then
    cat "$folder/seed.log" >&2
    stop_slapd
    exit 1
  fi
  cat >"$folder/slapd.env" <<ENV
LDAP_PORT=$port
LDAP_URI=ldap://127.0.0.1:$port/
ROOT_DN=$admin
ROOT_PW=$password
ENV
  echo "slapd: port $port, suffixes ${suffixes[*]}"
}

case "$action" in
  start) start_slapd "$3" ;;
  stop) stop_slapd ;;
  *) echo "usage: $0 start <folder> <seed.ldif> | stop <folder>" >&2; exit 2 ;;
esac
