"""Microsoft sign-in, the whole of it, with the 64-bit build for tests: Server
options opens the browser (a test tool registered for https in the prefix),
authorize and token endpoints of the tests' own answer over HTTPS with the
test CA, and dovecot takes the access token over POP3 with TLS."""

import base64
import hashlib
import http.server
import json
import os
import pathlib
import secrets
import shutil
import socket
import ssl
import subprocess
import threading
import time
import unittest
import urllib.parse

import winebox
from e2e_base import WORKDIR, AgentTestCase

TEST_EXE = pathlib.Path(os.environ.get("TARVIK_TEST_EXE") or "/nonexistent")
INTEGRATION = pathlib.Path(__file__).resolve().parent.parent / "integration"
DOVECOT_DIR = pathlib.Path("/tmp/tarvik-e2e-dovecot-sign-in")
AUTHORITY = "https://localhost:8443/common/oauth2/v2.0"
HTTPS_OPEN = r"HKCR\https\shell\open\command"
CREDENTIAL = r"HKCU\Software\Wine\Credential Manager\Generic: Tarvik:twelve@pop3s://localhost"
SIGN_IN_NEEDED = "Sign-in needed: right-click, Server options"
SIGN_IN, OK = (100, 50, 130, 14), (43, 95, 50, 14)


def base64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


class IdentityProvider(http.server.ThreadingHTTPServer):
    """Codes for the PKCE challenge they were asked with, access tokens that
    dovecot takes (RS256 with its key), refresh tokens longer than one
    credential holds, replaced at every use; grants lists what was asked."""
    address_family = socket.AF_INET6

    def __init__(self, tls, key):
        super().__init__(("::", 8443), Endpoint)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(tls / "localhost.pem", tls / "localhost.key")
        self.socket = context.wrap_socket(self.socket, server_side=True)
        self.key, self.codes, self.refresh_tokens, self.grants = key, {}, set(), []
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def grant(self, form):
        asked = self.codes.pop(form.get("code"), {})
        if form["grant_type"] == "authorization_code":
            verifier = form.get("code_verifier", "").encode()
            valid = (asked.get("client_id") == form["client_id"] == "e2e-client" and
                     asked.get("redirect_uri") == form["redirect_uri"] and
                     asked.get("code_challenge") == base64url(hashlib.sha256(verifier).digest()))
        else:
            valid = form.get("refresh_token") in self.refresh_tokens
            self.refresh_tokens.discard(form.get("refresh_token"))
        if not valid:
            return {"error": "invalid_grant", "error_description": "AADSTS70000"}
        refresh = "M." + secrets.token_urlsafe(2250)
        self.refresh_tokens.add(refresh)
        claims = base64url(json.dumps({"preferred_username": "twelve@example.test"}).encode())
        return {"access_token": self.jwt({"sub": "twelve", "exp": int(time.time()) + 600}),
                "refresh_token": refresh, "expires_in": 600, "id_token": f"e30.{claims}.c2ln"}

    def jwt(self, claims):
        signed = ".".join(base64url(json.dumps(part).encode())
                          for part in ({"alg": "RS256", "typ": "JWT"}, claims))
        signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(self.key)],
                                   input=signed.encode(), stdout=subprocess.PIPE, check=True)
        return signed + "." + base64url(signature.stdout)


class Endpoint(http.server.BaseHTTPRequestHandler):
    def log_message(self, *_):
        pass

    def do_GET(self):
        asked = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(self.path).query))
        code = secrets.token_urlsafe(16)
        self.server.codes[code] = asked
        self.server.grants.append("authorize")
        self.answer(302, b"", Location=asked["redirect_uri"] + "?" +
                    urllib.parse.urlencode({"code": code, "state": asked["state"]}))

    def do_POST(self):
        form = dict(urllib.parse.parse_qsl(self.rfile.read(int(self.headers["Content-Length"]))
                                           .decode()))
        self.server.grants.append(form["grant_type"])
        body = self.server.grant(form)
        self.answer(400 if "error" in body else 200, json.dumps(body).encode(),
                    **{"Content-Type": "application/json"})

    def answer(self, status, body, **headers):
        self.send_response(status)
        for name, value in {**headers, "Content-Length": str(len(body))}.items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)


@unittest.skipUnless(TEST_EXE.exists(), "only the 64-bit build for tests honours the test endpoints")
class MicrosoftSignInTest(AgentTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        winebox.use_private_hosts(INTEGRATION / "hosts")
        dovecot = str(INTEGRATION / "dovecot.sh")
        winebox.run_checked(["rm", "-rf", str(DOVECOT_DIR)])
        winebox.run_checked([dovecot, "start", str(DOVECOT_DIR), "110", "995"])
        cls.addClassCleanup(winebox.run_checked, [dovecot, "stop", str(DOVECOT_DIR)])
        trust = cls.desktop.spawn([cls.desktop.loader, str(TEST_EXE.parent / "trust_ca.exe"),
                                   winebox.windows_path(DOVECOT_DIR / "tls" / "ca.pem")], WORKDIR)
        if trust.wait(60) != 0:
            raise RuntimeError("the test CA could not be trusted in the Wine prefix")
        browser = winebox.windows_path(TEST_EXE.parent / "fake_browser.exe")
        cls.desktop.wine("reg", "add", HTTPS_OPEN, "/ve", "/d", f'"{browser}" "%1"', "/f")
        cls.addClassCleanup(cls.desktop.wine, "reg", "delete", HTTPS_OPEN, "/f", check=False)
        cls.idp = IdentityProvider(DOVECOT_DIR / "tls", DOVECOT_DIR / "oauth2" / "signing.key")
        cls.addClassCleanup(cls.idp.server_close)
        cls.addClassCleanup(cls.idp.shutdown)

    def dovecot_log(self):
        return (DOVECOT_DIR / "dovecot.log").read_text(errors="replace")

    def start_and_log_in(self, agent):
        """Starts the program and waits for its XOAUTH2 login; then closes it."""
        log_start = len(self.dovecot_log())
        agent.start()
        winebox.wait_until(lambda: "Login: user=<twelve>, method=XOAUTH2" in
                           self.dovecot_log()[log_start:], 30, "the login with the token")
        agent.send_close()
        agent.wait_exit()

    def test_sign_in_then_a_new_start_without_the_browser_then_a_revoked_token(self):
        for part in (CREDENTIAL, CREDENTIAL + "#2"):
            self.desktop.wine("reg", "delete", part, "/f", check=False)
            self.addCleanup(self.desktop.wine, "reg", "delete", part, "/f", check=False)
        agent = self.new_agent()
        shutil.copy(TEST_EXE, agent.exe)
        agent.write_settings(server="pop3s://localhost", user="twelve", password="",
                             show_count="FALSE")
        with agent.settings.open("ab") as settings:
            settings.write(f"MicrosoftClientId=e2e-client\r\nMicrosoftAuthority={AUTHORITY}\r\n"
                           "MicrosoftHosts=localhost\r\n".encode())
        log_start = len(self.dovecot_log())
        agent.start()
        winebox.wait_until(lambda: SIGN_IN_NEEDED in self.tooltips(), 30, "sign-in needed")
        winebox.choose_from_tray_menu(self.desktop, winebox.SERVER_OPTIONS)
        dialog = self.desktop.wait_window("POP3 Server Options")
        layout = winebox.DialogLayout(self.desktop, dialog, 248, 121)
        self.screenshot("sign-in-button", dialog)
        self.desktop.click(*layout.centre(*SIGN_IN))
        # Signed in as a name other than the user name: asked, and answered No.
        self.desktop.focus(self.desktop.wait_window("Tarvik", timeout=60))
        self.screenshot("signed-in-as-another-name")
        self.desktop.key("Tab", "space")
        self.desktop.wait_no_window("Tarvik")
        self.screenshot("signed-in", dialog)
        self.desktop.click(*layout.centre(*OK))
        winebox.wait_until(lambda: "Login: user=<twelve>, method=XOAUTH2" in
                           self.dovecot_log()[log_start:], 30, "the login with the token")
        self.assertEqual(["authorize", "authorization_code"], self.idp.grants)
        agent.send_close()
        agent.wait_exit()
        for part in (CREDENTIAL, CREDENTIAL + "#2"):
            self.assertIsNotNone(self.desktop.reg_query(part, "Password"), part)
        settings = agent.settings.read_bytes().decode()
        self.assertEqual(["pop3s://localhost", "twelve", ""], agent.read_settings()[:3])
        self.assertIn("\r\nSignIn=Microsoft\r\n", settings)
        self.assertNotIn(next(iter(self.idp.refresh_tokens))[:40], settings)

        self.start_and_log_in(agent)
        self.assertEqual(["authorize", "authorization_code", "refresh_token"], self.idp.grants)

        self.idp.refresh_tokens.clear()
        agent.start()
        winebox.wait_until(lambda: SIGN_IN_NEEDED in self.tooltips(), 30, "sign-in needed")
        self.screenshot_tooltip("sign-in-needed-after-revocation")
        self.assertEqual(["authorize", "authorization_code", "refresh_token", "refresh_token"],
                         self.idp.grants)
        agent.send_close()
        agent.wait_exit()


if __name__ == "__main__":
    unittest.main()
