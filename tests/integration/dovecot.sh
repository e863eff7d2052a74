#!/usr/bin/env bash
# Throwaway POP3 server (dovecot) on loopback for the integration tests.
#
#   dovecot.sh start DIR PORT [TLS_PORT [IMAP_PORT IMAPS_PORT]]
#                      configure and start a private instance in DIR
#   dovecot.sh stop DIR
#                      stop it again (succeeds if it is not running)
#
# Plain POP3 listens on 127.0.0.1:PORT only. With TLS_PORT, the certificates
# of make_certs.sh are made in DIR/tls; PORT then offers STLS, and POP3 over
# TLS listens on TLS_PORT at 127.0.0.1 and ::1 with the certificate for
# localhost, at 127.0.0.2 with a self-signed one for self-signed.test and at
# 127.0.0.3 with an expired one for expired.test (see tests/integration/hosts).
# With IMAP_PORT and IMAPS_PORT the mailboxes are served over IMAP too: with
# STARTTLS on IMAP_PORT at 127.0.0.1, .2 and .4 (without ESEARCH or LITERAL+),
# over TLS on IMAPS_PORT at 127.0.0.1, .2 and ::1; IDLE's "still here" every 10 min.
#
# Everything lives in DIR; /etc/dovecot and the system service are not used.
# Mailboxes (maildir under DIR/mail), all in the order listed:
#   zero   secret    0 messages
#   one    secret    1 message
#   twelve secret   12 messages
#   other  "p a s s" 3 messages; the second has a body line starting with "."
#   umlaut "pässwörd" 2 messages, the password stored in UTF-8
#   legacy "pässwörd" 1 message, the password stored in cp1252 bytes
#   mixed  secret    5 messages
#   inbox1 ... inbox6 secret 0 messages, one for each IMAP test that changes its mailbox
# Message N of M has "Subject: Message N of M for USER".
# SASL XOAUTH2 takes a JWT (RS256) whose "sub" names the mailbox, checked
# locally against DIR/oauth2/signing.key's public half; DIR/oauth2/other.key
# is a key dovecot does not know. The oauth2 settings are dovecot 2.3's.
set -euo pipefail
export PATH="/usr/sbin:/sbin:$PATH"

die() {
    echo "dovecot.sh: $*" >&2
    exit 1
}

usage() {
    die "usage: dovecot.sh start DIR PORT [TLS_PORT [IMAP_PORT IMAPS_PORT]] | dovecot.sh stop DIR"
}

port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

pop3_greeting() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1" && IFS= read -r -t 2 line <&3 && [[ $line == +OK* ]]) 2>/dev/null
}

port_free() {
    ! port_open "$1"
}

# A daemonized master is reaped by init; a zombie counts as gone too.
process_gone() {
    local state
    state=$(sed 's/.*) //; s/ .*//' "/proc/$1/stat" 2>/dev/null) || return 0
    [[ $state == Z ]]
}

# $1: seconds, rest: command; fails if the command has not succeeded in time.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# $1: pid file of a dovecot master; its children exit when it does.
end_master() {
    local pid
    pid=$(cat "$1" 2>/dev/null) || return 0
    [[ $(cat "/proc/$pid/comm" 2>/dev/null) == dovecot ]] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    if ! wait_for 10 process_gone "$pid"; then
        kill -KILL "$pid" 2>/dev/null || true
    fi
}

dovecot_installed() {
    command -v dovecot >/dev/null && [[ -x /usr/lib/dovecot/pop3-login ]] &&
        [[ -x /usr/lib/dovecot/imap-login ]]
}

ensure_dovecot() {
    dovecot_installed && return
    # Parallel test runs must not race for the dpkg lock.
    exec 9>/tmp/dovecot-sh-install.lock
    flock 9
    if ! dovecot_installed; then
        local out
        export DEBIAN_FRONTEND=noninteractive
        if ! out=$({ apt-get install -y -q dovecot-pop3d dovecot-imapd ||
            { apt-get update -q && apt-get install -y -q dovecot-pop3d dovecot-imapd; }; } 2>&1); then
            printf '%s\n' "$out" | tail -n 20 >&2
            die "could not install dovecot-pop3d and dovecot-imapd"
        fi
    fi
    exec 9>&-
}

# $1: maildir, $2: user, $3: number of messages
write_mailbox() {
    local maildir=$1 user=$2 count=$3 i
    mkdir -p "$maildir/cur" "$maildir/new" "$maildir/tmp"
    for ((i = 1; i <= count; i++)); do
        # dovecot numbers new maildir files by the time stamp in their name.
        {
            printf 'From: Test Sender <sender@example.test>\n'
            printf 'To: %s <%s@example.test>\n' "$user" "$user"
            printf 'Subject: Message %d of %d for %s\n' "$i" "$count" "$user"
            printf 'Date: Mon, 01 Jan 2024 10:%02d:00 +0000\n' "$i"
            printf 'Message-ID: <%s.%d@example.test>\n' "$user" "$i"
            printf 'MIME-Version: 1.0\n'
            printf 'Content-Type: text/plain; charset=us-ascii\n'
            printf '\n'
            printf 'Hello %s,\n\nthis is test message %d of %d.\n' "$user" "$i" "$count"
            if [[ $user == other && $i == 2 ]]; then
                printf '.This line starts with a dot.\n.\nThe line above is a single dot.\n'
            fi
        } >"$maildir/new/$((1704103200 + i)).M${i}P1.pop3test"
    done
}

# $1: instance dir, $2: IMAP port, $3: IMAPS port; the settings that add IMAP.
imap_config() {
    cat <<EOF
protocols = pop3 imap
imap_idle_notify_interval = 10 mins
service imap-login {
  inet_listener imap {
    port = $2
    address = 127.0.0.1, 127.0.0.2, 127.0.0.4
  }
  inet_listener imaps {
    port = $3
    address = 127.0.0.1, 127.0.0.2, ::1
    ssl = yes
  }
}
local 127.0.0.4 {
  protocol imap {
    imap_capability = IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE
  }
}
EOF
    echo "$2" >"$1/imap_port"
    echo "$3" >"$1/imaps_port"
}

valid_port() {
    [[ $1 =~ ^[0-9]+$ ]] && (($1 >= 1 && $1 <= 65535))
}

# $1: instance dir; the keys and settings of the tokens' local validation.
oauth2_config() {
    local keys=$1/oauth2
    mkdir -p "$keys/keys/default/RS256"
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$keys/signing.key" 2>/dev/null
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$keys/other.key" 2>/dev/null
    # Looked up as /shared/<azp>/<alg>/<kid>, "default" standing for what a token leaves out.
    openssl pkey -in "$keys/signing.key" -pubout -out "$keys/keys/default/RS256/default"
    chmod -R a+rX "$keys"
    cat >"$1/oauth2.conf" <<EOF
introspection_mode = local
local_validation_key_dict = fs:posix:prefix=$keys/keys/
username_attribute = sub
EOF
}

# $1: instance dir, $2: TLS port; the settings that add TLS.
tls_config() {
    local tls=$1/tls
    "$(dirname "${BASH_SOURCE[0]}")/make_certs.sh" "$tls"
    chmod 644 "$tls"/*.key
    cat <<EOF
ssl = yes
ssl_min_protocol = TLSv1.2
ssl_cert = <$tls/localhost.pem
ssl_key = <$tls/localhost.key
local 127.0.0.2 {
  ssl_cert = <$tls/selfsigned.pem
  ssl_key = <$tls/selfsigned.key
}
local 127.0.0.3 {
  ssl_cert = <$tls/expired.pem
  ssl_key = <$tls/expired.key
}
service pop3-login {
  inet_listener pop3s {
    port = $2
    address = 127.0.0.1, 127.0.0.2, 127.0.0.3, ::1
    ssl = yes
  }
}
EOF
}

start() {
    local dir port tls_port= imap_port= imaps_port=
    [[ $# -eq 2 || $# -eq 3 || $# -eq 5 ]] || usage
    dir=$(realpath -m -- "$1")
    port=$2
    valid_port "$port" || die "invalid port: $port"
    if [[ $# -ge 3 ]]; then
        tls_port=$3
        valid_port "$tls_port" || die "invalid port: $tls_port"
    fi
    if [[ $# -eq 5 ]]; then
        imap_port=$4
        imaps_port=$5
        valid_port "$imap_port" || die "invalid port: $imap_port"
        valid_port "$imaps_port" || die "invalid port: $imaps_port"
    fi
    # The path ends up unquoted in dovecot's config and in unix socket names (max. 107 bytes).
    [[ $dir =~ ^[A-Za-z0-9._/+-]+$ ]] || die "DIR may only contain [A-Za-z0-9._/+-]: $dir"
    ((${#dir} <= 70)) || die "DIR path too long for dovecot's sockets: $dir"
    if [[ -e $dir ]]; then
        [[ -d $dir && -z $(ls -A "$dir") ]] || die "DIR must be empty or not exist: $dir"
    fi
    port_open "$port" && die "port $port on 127.0.0.1 is already in use"

    ensure_dovecot
    [[ $(dovecot --version) == 2.3.* ]] || die "the settings are written for dovecot 2.3, not $(dovecot --version)"
    local uid gid
    uid=$(id -u dovecot) || die "no 'dovecot' system user"
    gid=$(id -g dovecot)
    id -u dovenull >/dev/null || die "no 'dovenull' system user"

    mkdir -p "$dir"
    oauth2_config "$dir"
    # dovecot's auth and mail processes run as the dovecot user and must reach into DIR.
    chmod 755 "$dir"
    echo "$port" >"$dir/port"

    cat >"$dir/dovecot.conf" <<EOF
# Private test instance written by dovecot.sh; not for production.
instance_name = pop3test-$port
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
disable_plaintext_auth = no
auth_mechanisms = plain xoauth2
# Failed logins are still answered after about 0.5 s.
auth_failure_delay = 0
default_login_user = dovenull
default_internal_user = dovecot
# The default (500) refuses mail access for the dovecot system user.
first_valid_uid = $uid
mail_location = maildir:~/Maildir

passdb {
  driver = passwd-file
  args = $dir/passwd
  mechanisms = plain login none
}
passdb {
  driver = oauth2
  mechanisms = xoauth2
  args = $dir/oauth2.conf
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/mail/%n
}

# Without this, anvil's per-IP penalty grows repeated failed logins up to 15 s.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    port = $port
    address = 127.0.0.1
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
    if [[ -n $tls_port ]]; then
        tls_config "$dir" "$tls_port" >>"$dir/dovecot.conf"
        echo "$tls_port" >"$dir/tls_port"
    else
        echo "ssl = no" >>"$dir/dovecot.conf"
    fi
    if [[ -n $imap_port ]]; then
        imap_config "$dir" "$imap_port" "$imaps_port" >>"$dir/dovecot.conf"
    fi

    cat >"$dir/passwd" <<'EOF'
zero:{PLAIN}secret::::::
one:{PLAIN}secret::::::
twelve:{PLAIN}secret::::::
other:{PLAIN}p a s s::::::
umlaut:{PLAIN}pässwörd::::::
news:{PLAIN}secret::::::
mixed:{PLAIN}secret::::::
inbox1:{PLAIN}secret::::::
inbox2:{PLAIN}secret::::::
inbox3:{PLAIN}secret::::::
inbox4:{PLAIN}secret::::::
inbox5:{PLAIN}secret::::::
inbox6:{PLAIN}secret::::::
EOF
    printf 'legacy:{PLAIN}p\xe4ssw\xf6rd::::::\n' >>"$dir/passwd"
    chown root:dovecot "$dir/passwd"
    chmod 640 "$dir/passwd"

    write_mailbox "$dir/mail/zero/Maildir" zero 0
    write_mailbox "$dir/mail/one/Maildir" one 1
    write_mailbox "$dir/mail/twelve/Maildir" twelve 12
    write_mailbox "$dir/mail/other/Maildir" other 3
    write_mailbox "$dir/mail/umlaut/Maildir" umlaut 2
    write_mailbox "$dir/mail/legacy/Maildir" legacy 1
    write_mailbox "$dir/mail/news/Maildir" news 0
    write_mailbox "$dir/mail/mixed/Maildir" mixed 5
    for i in 1 2 3 4 5; do write_mailbox "$dir/mail/inbox$i/Maildir" "inbox$i" 0; done
    chown -R dovecot:dovecot "$dir/mail"
    chmod -R u=rwX,go= "$dir/mail"

    runuser -u dovecot -- test -r "$dir/passwd" ||
        die "the dovecot user cannot reach $dir; make its parent directories world-searchable"

    # The daemon keeps the descriptors it was started with; a pipe here would
    # block any caller that captures this script's output.
    dovecot -c "$dir/dovecot.conf" </dev/null >"$dir/startup.log" 2>&1 ||
        die "dovecot did not start: $(cat "$dir/startup.log")"
    if ! wait_for 15 pop3_greeting "$port"; then
        echo "dovecot.sh: no POP3 greeting on 127.0.0.1:$port after 15 s; end of $dir/dovecot.log:" >&2
        tail -n 20 "$dir/dovecot.log" >&2 || true
        stop "$dir" || true
        exit 1
    fi
}

stop() {
    local dir port
    [[ $# -eq 1 ]] || usage
    dir=$(realpath -m -- "$1")
    [[ -f $dir/port ]] || return 0
    port=$(<"$dir/port")
    end_master "$dir/run/master.pid"
    wait_for 10 port_free "$port" || die "port $port is still in use after stopping $dir"
}

case ${1:-} in
start | stop)
    cmd=$1
    shift
    "$cmd" "$@"
    ;;
*) usage ;;
esac
