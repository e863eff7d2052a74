"""Secure connections of the real program under Wine: TLS and STLS against dovecot
with the test CA trusted in this run's own Wine prefix, and every kind of bad
certificate, each refused before anything of the user's is sent."""

import pathlib
import select
import socket
import subprocess
import time
import unittest

import winebox
from e2e_base import EXE, FAKE_POP3, WORKDIR, AgentTestCase

INTEGRATION = pathlib.Path(__file__).resolve().parent.parent / "integration"
DOVECOT = INTEGRATION / "dovecot.sh"
DOVECOT_DIR = pathlib.Path("/tmp/tarvik-e2e-dovecot")
TRUST_CA = EXE.parent / "trust_ca.exe"
TLS_POP3_SERVER = FAKE_POP3.parent / "tls_pop3_server"


def unanswering_listener(test, address, port):
    """A listener whose queue is full and never accepted from: a further
    connect to it stays unanswered, as to a dead host, without any network."""
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    listener = socket.socket(family)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(0)
    test.addCleanup(listener.close)
    for _ in range(16):
        client = socket.socket(family)
        client.setblocking(False)
        test.addCleanup(client.close)
        client.connect_ex((address, port))
        if not select.select([], [client], [], 0.1)[1]:
            # Only the program's own connect is left waiting.
            client.close()
            return
    raise RuntimeError("the listener's queue never filled")


class SecureCheckTest(AgentTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        winebox.use_private_hosts(INTEGRATION / "hosts")
        winebox.run_checked(["rm", "-rf", str(DOVECOT_DIR)])
        winebox.run_checked([str(DOVECOT), "start", str(DOVECOT_DIR), "110", "995"])
        cls.addClassCleanup(winebox.run_checked, [str(DOVECOT), "stop", str(DOVECOT_DIR)])
        # Not through a pipe: the prefix's services, which stay for the whole
        # run, would hold it open.
        trust = cls.desktop.spawn([cls.desktop.loader, str(TRUST_CA),
                                   winebox.windows_path(DOVECOT_DIR / "tls" / "ca.pem")], WORKDIR)
        if trust.wait(60) != 0:
            raise RuntimeError("the test CA could not be trusted in the Wine prefix")

    def dovecot_log(self):
        return (DOVECOT_DIR / "dovecot.log").read_text(errors="replace")

    def wait_log(self, text, after):
        return winebox.wait_until(lambda: text in self.dovecot_log()[after:], 20,
                                  f'"{text}" in the dovecot log')

    def check(self, server, user="twelve"):
        agent = self.new_agent()
        agent.write_settings(server=server, user=user, show_count="TRUE")
        log_start = len(self.dovecot_log())
        agent.start()
        return agent, log_start

    def expect_count(self, server, name, address):
        """The count box, and the login over TLS from the address given."""
        agent, log_start = self.check(server)
        self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.screenshot(name)
        self.desktop.key("Return")
        self.wait_log("Login: user=<twelve>", log_start)
        login = [line for line in self.dovecot_log()[log_start:].splitlines() if "Login:" in line]
        self.assertIn("TLS", login[0])
        self.assertIn(f"rip={address},", login[0])
        agent.send_close()
        agent.wait_exit()

    def expect_refused(self, server, name):
        """No box, nothing of the user's at the server, and the tooltip shown for the record."""
        agent, log_start = self.check(server)
        self.wait_log("Disconnected", log_start)
        time.sleep(1)
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))
        log = self.dovecot_log()[log_start:]
        self.assertIn("no auth attempts", log)
        self.assertNotIn("user=<twelve>", log)
        self.screenshot_tooltip(name)
        agent.send_close()
        agent.wait_exit()

    # localhost is ::1 first, then 127.0.0.1; TLS listens on both, plain POP3
    # on 127.0.0.1 alone.
    def test_tls_from_the_first_byte_shows_the_count_over_ipv6(self):
        self.expect_count("pop3s://localhost", "pop3s-count-box", "::1")

    def test_stls_shows_the_count_from_the_names_second_address(self):
        self.expect_count("POP3+STARTTLS://localhost", "starttls-count-box", "127.0.0.1")

    def test_a_self_signed_certificate_is_not_trusted(self):
        self.expect_refused("pop3s://self-signed.test", "untrusted-self-signed")

    def test_an_expired_certificate_is_not_trusted(self):
        self.expect_refused("pop3s://expired.test", "untrusted-expired")

    def test_a_certificate_for_another_name_is_not_trusted(self):
        self.expect_refused("pop3s://wrong-name.test", "untrusted-wrong-name")
        self.expect_refused("pop3+starttls://wrong-name.test", "untrusted-wrong-name-stls")

    def test_plain_text_and_a_port_still_work(self):
        self.expect_plain("127.0.0.1")
        self.expect_plain("localhost:110")

    def expect_plain(self, server):
        agent, log_start = self.check(server)
        self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.desktop.key("Return")
        self.wait_log("Login: user=<twelve>", log_start)
        self.assertNotIn("TLS", self.dovecot_log()[log_start:])
        agent.send_close()
        agent.wait_exit()

    def tls_server(self, address, port, certificate):
        """A POP3 server over TLS with a certificate of the test CA."""
        tls = DOVECOT_DIR / "tls"
        server = subprocess.Popen([str(TLS_POP3_SERVER), address, str(port),
                                   str(tls / f"{certificate}.pem"), str(tls / f"{certificate}.key")],
                                  stdout=subprocess.PIPE, text=True)
        self.addCleanup(server.stdout.close)
        self.addCleanup(server.wait, 10)
        self.addCleanup(server.kill)
        self.assertEqual("listening\n", server.stdout.readline())
        return server

    def expect_scripted_count(self, server, name):
        agent, _ = self.check(server)
        # A first handshake that fails on a busy host is retried after 30 s.
        self.desktop.wait_window(winebox.CHECK_CAPTION, timeout=45)
        self.screenshot(name)
        self.desktop.key("Return")
        agent.send_close()
        agent.wait_exit()

    # The system's policy matches names only; the address is matched by the
    # program against the certificate's address entries.
    def test_a_certificate_for_an_address_is_trusted_for_that_address_alone(self):
        self.tls_server("::1", 2996, "address")
        self.expect_scripted_count("pop3s://[::1]:2996", "address-certificate-count")
        named = self.tls_server("::1", 2997, "address")
        agent, _ = self.check("pop3s://localhost:2997")
        time.sleep(3)
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))
        self.screenshot_tooltip("address-certificate-for-a-name")
        agent.send_close()
        agent.wait_exit()
        named.kill()
        self.assertNotIn("USER", named.stdout.read())

    def test_stls_refused_is_no_secure_connection_and_sends_nothing_more(self):
        server = self.new_server(port=2110, script=winebox.script(
            r"send +OK hi\r\n", "expect", r"send -ERR not here\r\n", "expect 3000", "close"))
        agent, _ = self.check("pop3+starttls://127.0.0.1:2110")
        self.assertEqual(["STLS"], server.wait_transcript(1))
        time.sleep(1)
        self.assertEqual(["STLS"], server.transcript())
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))
        self.screenshot_tooltip("stls-refused")
        agent.send_close()
        agent.wait_exit()


class ConnectTest(AgentTestCase):
    """Connecting as the program does on Windows: addresses raced, Exit cutting a
    connect in progress. localhost is ::1 first, then 127.0.0.1."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        winebox.use_private_hosts(INTEGRATION / "hosts")

    def test_a_first_address_that_never_answers_holds_up_the_count_only_briefly(self):
        unanswering_listener(self, "::1", 2111)
        server = self.new_server(port=2111)
        agent = self.new_agent()
        agent.write_settings(server="localhost:2111", show_count="TRUE")
        started = time.monotonic()
        agent.start()
        self.desktop.wait_window(winebox.CHECK_CAPTION, timeout=5)
        self.assertLess(time.monotonic() - started, 5)
        self.desktop.key("Return")
        agent.send_close()
        agent.wait_exit()

    def test_exit_during_a_connect_that_never_completes_ends_within_a_second(self):
        unanswering_listener(self, "127.0.0.1", 2112)
        agent = self.new_agent()
        agent.write_settings(server="127.0.0.1:2112")
        agent.start()
        # The check is then waiting on its connect.
        winebox.wait_until(lambda: subprocess.run(
            ["ss", "-Htn", "state", "syn-sent", "( dport = :2112 )"],
            stdout=subprocess.PIPE, text=True).stdout.strip(), 20, "a connect in progress")
        agent.send_close()
        agent.wait_exit(timeout=1)


if __name__ == "__main__":
    unittest.main()
