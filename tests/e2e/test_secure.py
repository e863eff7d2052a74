"""Secure connections of the real program under Wine: TLS and STLS against dovecot
with the test CA trusted in this run's own Wine prefix, and every kind of bad
certificate, each refused before anything of the user's is sent."""

import pathlib
import time
import unittest

import winebox
from e2e_base import EXE, WORKDIR, AgentTestCase

INTEGRATION = pathlib.Path(__file__).resolve().parent.parent / "integration"
DOVECOT = INTEGRATION / "dovecot.sh"
DOVECOT_DIR = pathlib.Path("/tmp/tarvik-e2e-dovecot")
TRUST_CA = EXE.parent / "trust_ca.exe"


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


if __name__ == "__main__":
    unittest.main()
