# A demo mailbox for scripts/run, sourced by it: a private dovecot serving
# IMAP, with IDLE, on a loopback port of its own (never 143, never the host's
# own dovecot; its POP3 and TLS listeners take the next free ports) whose
# account holds three messages with encoded senders and subjects, and a
# fourth delivered a minute later.
#
#   demo_start         starts the server in demo_dir; prints its IMAP port
#   demo_deliver_late  delivers the fourth message
#   demo_stop          stops the server and removes demo_dir

demo_dir=/tmp/tarvik-demo-$$
demo_user=zero
demo_password=secret

# Written in tmp/ and moved into new/, as maildir delivery goes: a server that
# is told of each new file never reads one half written.
# $1: file name, $2: From, $3: Subject, $4: minute of the date
demo_message() {
  local maildir="$demo_dir/mail/$demo_user/Maildir"
  local file="$maildir/tmp/$1"
  printf 'From: %s\nTo: %s <%s@example.test>\nSubject: %s\nDate: Mon, 07 Dec 2026 09:%02d:00 +0000\nMessage-ID: <demo.%s@example.test>\nMIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\nThis is a message of the Tarvik demo mailbox.\n' \
    "$2" "$demo_user" "$demo_user" "$3" "$4" "$1" >"$file.tmp"
  chown dovecot:dovecot "$file.tmp"
  chmod 600 "$file.tmp"
  mv "$file.tmp" "$maildir/new/$1"
}

demo_start() {
  local port=11510 ports=()
  while ((${#ports[@]} < 4)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || ports+=("$port")
    port=$((port + 1))
  done
  rm -rf "$demo_dir"
  # POP3, POP3 over TLS, IMAP, IMAP over TLS.
  "$root/tests/integration/dovecot.sh" start "$demo_dir" "${ports[@]}" >&2
  demo_message 1765098001.M1P1.demo '=?UTF-8?B?0JDQtNCwINCb0LDQstC70LXQudGB?= <ada@example.test>' \
    '=?UTF-8?B?0J/RgNC40LLQtdGCINC40Lcg0KLQsNGA0LLQuNC60LA=?=' 1
  demo_message 1765098002.M2P1.demo '=?ISO-8859-1?Q?Bj=F6rn_=C5str=F6m?= <bjorn@example.test>' \
    '=?ISO-8859-1?Q?Kaffe_p=E5_fredag=3F?=' 2
  demo_message 1765098003.M3P1.demo '"Chen Wei" <chen@example.test>' \
    $'=?UTF-8?Q?Caf=C3=A9_menu_for_the_team?=\n =?UTF-8?Q?_lunch_=E2=98=95?=' 3
  echo "${ports[2]}"
}

demo_deliver_late() {
  demo_message 1765098004.M4P1.demo '=?UTF-8?B?5p2O5piO?= <li.ming@example.test>' \
    '=?UTF-8?B?5paw6YKu5Lu25Yiw5LqG?=' 4
}

demo_stop() {
  [[ -d $demo_dir ]] || return 0
  "$root/tests/integration/dovecot.sh" stop "$demo_dir" >/dev/null 2>&1 || true
  rm -rf "$demo_dir"
}
