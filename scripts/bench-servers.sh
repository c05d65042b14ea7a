# Sourced by the benchmark scripts: the login the program uses as a system user,
# and vsftpd on 127.0.0.1 over a scratch folder.
# The caller sets python, user, password and the function die, then calls
# make_scratch; for vsftpd with TLS, also cert (its key beside it: $work/tls.key).

# The scratch folder $work (under BENCH_TMP, default /var/tmp) with the servers'
# root $ftproot and the shared folder $shared of a run without an installed
# system; on exit the servers in server_pids stop and the folder goes.
make_scratch() { # name
  work=$(mktemp -d "${BENCH_TMP:-/var/tmp}/$1.XXXXXX")
  chmod 755 "$work"
  server_pids=()
  declare -gA port_of
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  ftproot=$work/root
  shared=$ftproot/gCALDORIA/Cidades/_corrompida
  mkdir -p "$shared" "$work/empty"
  chmod 755 "$work/empty"
}

cleanup() {
  for pid in "${server_pids[@]}"; do
    kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}

free_port() {
  "$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

greets() { # port: does something there say 220?
  "$python" - "$1" <<'EOF' 2>/dev/null
import socket, sys
try:
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=2)
    sys.exit(0 if s.recv(64).startswith(b"220") else 1)
except OSError:
    sys.exit(1)
EOF
}

# vsftpd logs in through PAM, so the login must be a system user whose shell is
# listed in /etc/shells; it owns the server's root.
ensure_ftp_user() {
  if ! id "$user" >/dev/null 2>&1; then
    useradd -M -d / -s /bin/bash "$user" || id "$user" >/dev/null
  elif [[ ! -d $(getent passwd "$user" | cut -d: -f6) ]]; then
    usermod -d / "$user" # vsftpd enters the home folder before its chroot
  fi
  echo "$user:$password" | chpasswd
}

start_vsftpd() { # [tls]
  local port conf name=vsftpd${1:+_$1}
  port=$(free_port)
  conf=$work/$name.conf
  cat >"$conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
chroot_local_user=YES
allow_writeable_chroot=YES
local_root=$ftproot
pasv_enable=YES
pasv_address=127.0.0.1
secure_chroot_dir=$work/empty
pam_service_name=vsftpd
userlist_enable=NO
delay_failed_login=0
xferlog_enable=NO
vsftpd_log_file=$work/$name.log
EOF
  if [[ -n ${1:-} ]]; then
    cat >>"$conf" <<EOF
ssl_enable=YES
rsa_cert_file=$cert
rsa_private_key_file=$work/tls.key
require_ssl_reuse=YES
ssl_ciphers=HIGH
force_local_logins_ssl=YES
force_local_data_ssl=YES
EOF
  fi
  chmod 600 "$conf"
  setsid /usr/sbin/vsftpd "$conf" >"$work/$name.out" 2>&1 &
  server_pids+=($!)
  for _ in $(seq 100); do
    greets "$port" && { port_of[$name]=$port; return; }
    sleep 0.1
  done
  die "$name did not start: $(cat "$work/$name.out")"
}
