#!/usr/bin/env bash
# Starts (start) or stops (stop) the real peers of the network client tests, on 127.0.0.1
# only, in a scratch folder of their own:
#   - an independent SMTP server (Debian's aiosmtpd, smtp_sink.py) that keeps what it accepts;
#   - nginx serving the products list over HTTP and HTTPS, with a redirect, basic
#     authentication, a cookie and a too-large download. The HTTPS certificates come from a
#     test authority made here at every start (its key never leaves the scratch folder):
#     one for localhost and 127.0.0.1, one made out to another name, and a self-signed one
#     no one trusts, each on a port of its own. Only the tests that are told of ca.pem
#     trust that authority.
# The ports (free ones, picked at start) and folders go to <folder>/peers.env for the tests.
# Stop ends exactly the processes that start recorded.
set -euo pipefail
action=$1
folder=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python=/usr/bin/python3

# Running and not yet a zombie (an ended peer waits for its adopter to reap it).
alive() {
  local state
  state=$(sed -n 's/^[0-9]* (.*) \([A-Z]\).*/\1/p' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

stop_peers() {
  for pidfile in "$folder"/smtp.pid "$folder"/nginx-master.pid; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do alive "$pid" || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$pidfile"
  done
}

free_ports() {
  "$python" - "$1" <<'PY'
import socket, sys
sockets = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    sockets.append(s)
print(" ".join(str(s.getsockname()[1]) for s in sockets))
PY
}

wait_for_port() {
  for _ in $(seq 100); do
    if "$python" -c "import socket,sys; socket.create_connection(('127.0.0.1', int(sys.argv[1])), 0.2).close()" "$1" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "net-peers: nothing answers on port $1" >&2
  return 1
}

products_xml() {
  cat <<XML
<?xml version="1.0"?>
<products>
  <QM url="http://downloads.zarel.example/other.exe" date="2026-01-01">1.0.0</QM>
  <ZM url="https://downloads.zarel.example/zarel-9.1.0.exe" date="2026-11-30">9.1.0</ZM>
</products>
XML
}

# The test authority and the server certificates signed by it (or not).
make_certificates() {
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -days 2 -subj "/CN=Zarel Test Authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$folder/ca-key.pem" -out "$folder/ca.pem" >/dev/null 2>&1
  for name in trusted wrongname; do
    local subject=localhost alt="DNS:localhost,IP:127.0.0.1"
    if [ "$name" = wrongname ]; then subject=other.zarel.test; alt="DNS:other.zarel.test"; fi
    openssl req "${ec[@]}" -subj "/CN=$subject" -keyout "$folder/$name-key.pem" \
      -out "$folder/$name.csr" >/dev/null 2>&1
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$alt" \
      >"$folder/$name.ext"
    openssl x509 -req -in "$folder/$name.csr" -CA "$folder/ca.pem" -CAkey "$folder/ca-key.pem" \
      -CAcreateserial -days 2 -extfile "$folder/$name.ext" -out "$folder/$name.pem" >/dev/null 2>&1
  done
  openssl req -x509 "${ec[@]}" -days 2 -subj /CN=localhost \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$folder/untrusted-key.pem" -out "$folder/untrusted.pem" >/dev/null 2>&1
}

start_peers() {
  stop_peers
  rm -rf "$folder"
  mkdir -p "$folder"/www/products "$folder"/www/private "$folder"/www/cookie "$folder"/www/big \
           "$folder"/tmp "$folder"/mail
  read -r smtp_port http_port https_port wrongname_port untrusted_port < <(free_ports 5)

  # The SMTP server.
  "$python" "$here/smtp_sink.py" "$smtp_port" "$folder/mail" >"$folder/smtp.log" 2>&1 &
  echo $! >"$folder/smtp.pid"

  # What nginx serves.
  products_xml >"$folder/www/products/QuenforProducts.xml"
  cp "$folder/www/products/QuenforProducts.xml" "$folder/www/private/QuenforProducts.xml"
  cp "$folder/www/products/QuenforProducts.xml" "$folder/www/cookie/QuenforProducts.xml"
  head -c $((16 * 1024 * 1024)) /dev/zero | tr '\0' 'x' >"$folder/www/big/limit.bin"
  head -c $((16 * 1024 * 1024 + 1)) /dev/zero | tr '\0' 'x' >"$folder/www/big/over.bin"
  printf 'setup:%s\n' "$(openssl passwd -apr1 'p@ss:w%rd')" >"$folder/htpasswd"
  make_certificates
  chmod -R a+rX "$folder"

  cat >"$folder/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $folder/nginx-own.pid;
error_log $folder/nginx-error.log;
$( [ "$(id -u)" = 0 ] && echo "user root root;" )
events { worker_connections 64; }
http {
  access_log $folder/access.log;
  client_body_temp_path $folder/tmp/body;
  proxy_temp_path $folder/tmp/proxy;
  fastcgi_temp_path $folder/tmp/fastcgi;
  uwsgi_temp_path $folder/tmp/uwsgi;
  scgi_temp_path $folder/tmp/scgi;
  default_type application/octet-stream;
  # Locations go out as the redirect gives them, so relative ones stay relative.
  absolute_redirect off;
  server {
    listen 127.0.0.1:$wrongname_port ssl;
    ssl_certificate $folder/wrongname.pem;
    ssl_certificate_key $folder/wrongname-key.pem;
    root $folder/www;
  }
  server {
    listen 127.0.0.1:$untrusted_port ssl;
    ssl_certificate $folder/untrusted.pem;
    ssl_certificate_key $folder/untrusted-key.pem;
    root $folder/www;
  }
  server {
    listen 127.0.0.1:$http_port;
    listen 127.0.0.1:$https_port ssl;
    ssl_certificate $folder/trusted.pem;
    ssl_certificate_key $folder/trusted-key.pem;
    root $folder/www;
    location = /moved/to-plain.xml { return 302 http://127.0.0.1:$http_port/products/QuenforProducts.xml; }
    location = /moved/absolute.xml { return 301 /products/QuenforProducts.xml; }
    location = /moved/relative.xml { return 302 ../products/./QuenforProducts.xml; }
    location = /moved/ftp.xml { return 302 ftp://127.0.0.1/products/QuenforProducts.xml; }
    location /private/ {
      auth_basic "Zarel";
      auth_basic_user_file $folder/htpasswd;
    }
    location /cookie/ { add_header Set-Cookie "session=abc123; Path=/"; }
  }
}
CONF
  /usr/sbin/nginx -p "$folder" -c "$folder/nginx.conf" -e "$folder/nginx-error.log" \
    >"$folder/nginx.log" 2>&1 &
  echo $! >"$folder/nginx-master.pid"

  if ! { wait_for_port "$smtp_port" && wait_for_port "$http_port" && wait_for_port "$https_port" &&
         wait_for_port "$wrongname_port" && wait_for_port "$untrusted_port"; }; then
    cat "$folder/smtp.log" "$folder/nginx-error.log" >&2 2>/dev/null || true
    stop_peers
    exit 1
  fi

  cat >"$folder/peers.env" <<ENV
SMTP_PORT=$smtp_port
HTTP_PORT=$http_port
HTTPS_PORT=$https_port
WRONGNAME_PORT=$wrongname_port
UNTRUSTED_PORT=$untrusted_port
CA_FILE=$folder/ca.pem
MAIL_DIR=$folder/mail
WWW_DIR=$folder/www
ENV
  echo "net-peers: smtp $smtp_port, http $http_port, https $https_port (wrong name $wrongname_port, untrusted $untrusted_port)"
}

case "$action" in
  start) start_peers ;;
  stop) stop_peers ;;
  *) echo "usage: $0 start|stop <folder>" >&2; exit 2 ;;
esac
