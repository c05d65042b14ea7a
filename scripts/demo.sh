#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program inside a demo
# installation on this machine:
#   - demo/Quintara/KORV: a copy of the program beside an installed KORV system's
#     korv.ini, whose client database (São José do Rio Preto/SP) is served by a
#     private Firebird server on 127.0.0.1;
#   - a local FTP server (pyftpdlib) on 127.0.0.1 holding a few sample files in
#     that client's folder, the program pointed at it through the
#     FTPCALDORIA_FTP_* variables. It offers TLS with a certificate from a demo
#     authority that the program is told to trust (SSL_CERT_FILE).
# Closing the window stops both servers.
#
#   bash scripts/demo.sh                 normal mode
#   bash scripts/demo.sh --corrompida    no client database reachable: corrupted-base mode
#   bash scripts/demo.sh [--corrompida] FILE    also hands FILE to the program, as "Open with" does
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) it runs under xvfb-run and
# saves a picture of the window to demo/janela.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

modo=normal
if [[ ${1:-} == --corrompida ]]; then
  modo=corrompida
  shift
fi

"$root/scripts/deps.sh"
BUILD_TARGET=FTPCaldoria "$root/scripts/build.sh"

demo=$root/demo
instalacao=$demo/Quintara/KORV
ftproot=$demo/ftp
rm -rf "$demo"
mkdir -p "$instalacao" "$ftproot" "$demo/logs"
cp "${BUILD_DIR:-$root/build}/app/FTPCaldoria" "$instalacao/FTPCaldoria"

porta_livre() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
espera_porta() {
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "demo: nothing listens on 127.0.0.1:$1" >&2
  return 1
}

pids=()
parar() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # Firebird ignores the signal while it is still starting up (the window may
  # close within seconds): give the servers a moment, then stop them for good.
  for _ in $(seq 1 50); do
    local vivo=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && vivo=1; done
    ((vivo)) || break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap parar EXIT
trap "exit 130" INT TERM

ano=$(date +%Y)
fbporta=$(porta_livre)
if [[ $modo == normal ]]; then
  echo "demo: starting Firebird on 127.0.0.1:$fbporta"
  bash "$root/tests/fixtures/firebird/start-firebird.sh" "$demo/firebird" "$fbporta" >"$demo/logs/firebird.log" 2>&1 &
  pids+=($!)
  espera_porta "$fbporta"
  banco=$instalacao/dados/ARQ$ano/KORV$ano.FDB
  # isql drops every non-ASCII byte it reads when LANG names a locale that is not
  # installed ("So Jos do Rio Preto"); the C locale's UTF-8 form is always there.
  mkdir -p "$(dirname "$banco")"
  {
    echo "create database '127.0.0.1/$fbporta:$banco' default character set WIN1252;"
    cat "$root/tests/fixtures/firebird/korv.sql"
    echo "commit;"
    echo "create or alter user QNCKORV8 password 'vokt'; commit;"
    echo "grant select on cadcli to QNCKORV8; grant select on TABEMPRESA to QNCKORV8; commit;"
  } | FIREBIRD=$demo/firebird/root LC_ALL=C.UTF-8 isql-fb -q -b -ch UTF8 -user SYSDBA -password plunderow >"$demo/logs/isql.log" 2>&1
else
  # Nobody listens on this port: the client cannot be identified.
  echo "demo: corrupted-base mode, the database server 127.0.0.1:$fbporta is not running"
fi

printf '[KORV]\r\nServidor=127.0.0.1/%s\r\nCaminho_Base_Dados=%s/dados/\r\nAno=%s\r\n' "$fbporta" "$instalacao" "$ano" \
  >"$instalacao/korv.ini"

# Sample files where support leaves them.
cliente=$ftproot/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV
mkdir -p "$cliente" "$ftproot/gCALDORIA/Cidades/_corrompida"
echo "Arquivos de exemplo do suporte." >"$cliente/leia-me.txt"
head -c 3145728 /dev/urandom >"$cliente/backup-$ano-12-01.fbk"
head -c 250000 /dev/urandom >"$cliente/relatorio-suporte.pdf"
echo "Arquivo deixado pelo suporte." >"$ftproot/gCALDORIA/Cidades/_corrompida/SUPORTE_tecnico-$ano-12-01_10-00-00_instrucoes.txt"

# The server's certificate, from an authority of the demo's own.
tls=$demo/tls
mkdir -p "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$tls/ca.key" -out "$tls/ca.pem" \
  -subj "/CN=Autoridade da demonstracao" -days 30 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$tls/ftp.key" -out "$tls/ftp.csr" \
  -subj /CN=127.0.0.1 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$tls/ftp.ext"
openssl x509 -req -in "$tls/ftp.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 30 \
  -extfile "$tls/ftp.ext" -out "$tls/ftp.pem" 2>/dev/null

/usr/bin/python3 "$root/tests/fixtures/ftp/pyftpd_server.py" --root "$ftproot" --user caldoria --password vesplodu \
  --tls-cert "$tls/ftp.pem" --tls-key "$tls/ftp.key" >"$demo/logs/ftp.log" 2>&1 &
pids+=($!)
ftpporta=
for _ in $(seq 1 100); do
  ftpporta=$(sed -n 's/^PORT \([0-9]*\).*/\1/p' "$demo/logs/ftp.log" | head -1)
  [[ -n $ftpporta ]] && break
  sleep 0.1
done
[[ -n $ftpporta ]] || { echo "demo: the FTP server did not start" >&2; cat "$demo/logs/ftp.log" >&2; exit 1; }
echo "demo: FTP server on 127.0.0.1:$ftpporta, root $ftproot"

export FTPCALDORIA_FTP_HOST=127.0.0.1:$ftpporta
export FTPCALDORIA_FTP_ALT_HOST=127.0.0.1:$ftpporta
export FTPCALDORIA_LOG=$demo/logs/janela.log
export SSL_CERT_FILE=$tls/ca.pem

cd "$demo"
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  echo "demo: starting the window; close it to stop the servers"
  "$instalacao/FTPCaldoria" "$@"
else
  echo "demo: no display found, running under Xvfb; the window's picture goes to demo/janela.png; Ctrl+C stops it"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" "${@:3}" &
    pid=$!
    sleep 4
    import -window root "$2" && echo "demo: saved $2"
    wait $pid
  ' _ "$instalacao/FTPCaldoria" "$demo/janela.png" "$@"
fi
