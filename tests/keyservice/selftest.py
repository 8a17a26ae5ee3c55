#!/usr/bin/python3
"""Self-test of the test key service with Python's own HTTPS client, against the running service
whose folder VX_KEYSERVICE_DIR names (the CTest fixture starts it), plus a start/stop cycle of its own."""

import base64
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives import padding as sympadding
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "keyservice.py")
sys.path.insert(0, HERE)
import keyservice  # noqa: E402 (after the path is set)
from kslib import mfa  # noqa: E402


def load_description(directory):
    with open(os.path.join(directory, "service.json")) as f:
        return json.load(f)


class Client:
    """HTTPS verified by the service's CA file; replies as (status, headers, body text)."""

    def __init__(self, description):
        self.d = description
        self.context = ssl.create_default_context(cafile=description["ca_file"])

    def api(self, server, path, method="GET", body=None, headers=None, base=None):
        url = (base or self.d["servers"][server]) + "/api/v1.0/" + path
        request = urllib.request.Request(url, data=body, method=method, headers=headers or {})
        try:
            with urllib.request.urlopen(request, context=self.context, timeout=10) as r:
                return r.status, r.headers, r.read().decode()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read().decode()

    def admin(self, path, value=None):
        data = None if value is None else json.dumps(value).encode()
        request = urllib.request.Request(self.d["admin"] + path, data=data,
                                         method="GET" if value is None else "POST")
        try:
            with urllib.request.urlopen(request, timeout=10) as r:
                return r.status, json.loads(r.read())
        except urllib.error.HTTPError as e:
            return e.code, json.loads(e.read())

    def fault(self, **spec):
        status, reply = self.admin("/fault", spec)
        assert status == 200, reply


class KeptConnection:
    """One HTTPS connection kept open for several requests, optionally resuming a TLS session."""

    def __init__(self, client, server, session=None):
        address = urllib.parse.urlsplit(client.d["servers"][server])
        raw = socket.create_connection((address.hostname, address.port), timeout=10)
        self.tls = client.context.wrap_socket(raw, server_hostname=address.hostname, session=session)

    def get(self, path):
        self.tls.sendall(("GET /api/v1.0/%s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
        response = http.client.HTTPResponse(self.tls)
        response.begin()
        response.read()
        return response.status

    def close(self):
        self.tls.close()


def verify_v2(public_key_text, text, signature):
    """RSASSA-PSS with SHA-512 and a 64-byte salt over the text, key and signature in "V2-" form."""
    tag, _, key_body = public_key_text.partition("-")
    assert tag == "V2"
    key = serialization.load_der_public_key(base64.b64decode(key_body))
    parts = signature.split("-")
    if len(parts) != 2 or parts[0] != "V2":
        return False
    try:
        key.verify(base64.b64decode(parts[1]), text.encode(),
                   padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64), hashes.SHA512())
        return True
    except InvalidSignature:
        return False


class ServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        directory = os.environ.get("VX_KEYSERVICE_DIR")
        if not directory:
            if os.environ.get("CI") == "true":
                raise AssertionError("VX_KEYSERVICE_DIR is not set (CI=true: required)")
            raise unittest.SkipTest("VX_KEYSERVICE_DIR is not set")
        cls.c = Client(load_description(directory))

    def setUp(self):
        self.assertEqual(self.c.admin("/reset", {})[0], 200)

    def get_json(self, server, path):
        status, _, body = self.c.api(server, path)
        self.assertEqual(status, 200, body)
        return json.loads(body)

    def test_every_instance_serves_the_cluster_document(self):
        servers = self.c.d["servers"]
        self.assertGreaterEqual(len(servers), 2)
        for index in range(len(servers)):
            doc = self.get_json(index, "clusterInfo")
            self.assertTrue(doc["ctag"])
            self.assertEqual([m["url"] for m in doc["members"]], servers)
            self.assertEqual([m["isMaster"] for m in doc["members"]],
                             [i == 0 for i in range(len(servers))])
            self.assertTrue(all(m["isOnline"] and m["dataCenter"] for m in doc["members"]))

    def test_etag_reports_the_cluster_tag(self):
        ctag = self.get_json(0, "clusterInfo")["ctag"]
        for path in ("etag/0", "etag/0/"):
            doc = self.get_json(1, path)
            self.assertEqual(doc, {"etag": 0, "gtag": 1, "ltag": 0, "ctag": ctag, "id": 0})

    def test_cluster_change_gives_a_new_tag_and_reset_restores_it(self):
        start = self.get_json(0, "clusterInfo")
        status, doc = self.c.admin("/cluster", {"members": [
            {"server": 1, "dataCenter": "west", "isMaster": True},
            {"url": self.c.d["servers"][2] + "/api/v1.0/", "isOnline": False}]})
        self.assertEqual(status, 200)
        self.assertNotEqual(doc["ctag"], start["ctag"])
        self.assertEqual(self.get_json(2, "clusterInfo"), doc)
        self.assertEqual(doc["members"][0], {"url": self.c.d["servers"][1], "dataCenter": "west",
                                             "isMaster": True, "isOnline": True})
        self.assertFalse(doc["members"][1]["isOnline"])
        self.assertEqual(self.get_json(0, "etag/0")["ctag"], doc["ctag"])
        self.assertEqual(self.c.admin("/cluster", {"ctag": ""})[1]["ctag"], "")
        self.c.admin("/reset", {})
        self.assertEqual(self.get_json(0, "clusterInfo"), start)

    def test_site_data_is_signed_with_the_published_key(self):
        _, _, body = self.c.api(0, "ua/siteData")
        _, _, again = self.c.api(1, "ua/siteData")
        self.c.admin("/reset", {})
        _, _, after_reset = self.c.api(2, "ua/siteData")
        self.assertEqual(body, again)
        self.assertEqual(body, after_reset)
        doc = json.loads(body)
        signature = doc.pop("signature")
        self.assertEqual(len(signature), 347)
        self.assertEqual(doc["gtag"], self.get_json(0, "etag/0")["gtag"])
        self.assertEqual(doc["pollingInterval"], 60)
        signed = json.dumps(doc, separators=(",", ":"), sort_keys=True)
        key = self.c.d["service_public_key"]
        self.assertEqual(len(key), 363)
        self.assertTrue(verify_v2(key, signed, signature))
        self.assertFalse(verify_v2(key, signed.replace('"pollingInterval":60', '"pollingInterval":61'),
                                   signature))

    def test_untrusted_instance_fails_verification(self):
        with self.assertRaises(urllib.error.URLError) as caught:
            self.c.api(0, "clusterInfo", base=self.c.d["untrusted"])
        self.assertIsInstance(caught.exception.reason, ssl.SSLCertVerificationError)

    def test_unknown_paths_get_an_error_body(self):
        for path, status in (("no/such/thing", 404), ("etag/7", 404)):
            got, _, body = self.c.api(0, path)
            self.assertEqual(got, status)
            self.assertIn("Message", json.loads(body))
        got, _, _ = self.c.api(0, "clusterInfo", method="POST", body=b"{}")
        self.assertEqual(got, 405)

    def test_each_fault_switches_on_and_off(self):
        def refused(outcome):
            return (isinstance(outcome, urllib.error.URLError)
                    and isinstance(outcome.reason, ConnectionRefusedError))

        def hung_up(outcome):
            return isinstance(outcome, OSError) and not refused(outcome)

        cases = [
            ({"kind": "down"}, {}, refused),
            ({"kind": "down", "count": 5}, {}, hung_up),
            ({"kind": "status", "status": 502, "body": "<html>bad gateway</html>"}, {},
             lambda r: r[:2] == (502, "<html>bad gateway</html>")),
            ({"kind": "status", "status": 503, "body": ""}, {}, lambda r: r[:2] == (503, "")),
            ({"kind": "send_to_master"}, {},
             lambda r: r[0] == 501 and json.loads(r[1])["reason"] == "Send To Master"),
            ({"kind": "inactive_endpoint"}, {},
             lambda r: r[0] == 400 and json.loads(r[1])["reason"] == "InactiveEndpoint"),
            ({"kind": "inactive_endpoint", "status": 503}, {}, lambda r: r[0] == 503),
            ({"kind": "token_expired"}, {"Authorization": "V2 token"}, lambda r: r[0] == 401),
            ({"kind": "token_expired", "status": 498}, {"Authorization": "V2 token"},
             lambda r: r[0] == 498 and "Message" in json.loads(r[1])),
            ({"kind": "blank"}, {}, lambda r: r[:2] == (200, "")),
            ({"kind": "malformed"}, {}, lambda r: r[0] == 200 and not r[1].startswith("{")),
            ({"kind": "header", "name": "X-VX-MFA-TU", "value": '{"t":5}'}, {},
             lambda r: r[0] == 200 and r[2].get("X-VX-MFA-TU") == '{"t":5}'),
        ]
        for spec, headers, expected in cases:
            with self.subTest(spec=spec):
                self.c.fault(**spec)
                try:
                    status, reply_headers, body = self.c.api(1, "clusterInfo", headers=headers)
                    outcome = (status, body, reply_headers)
                except OSError as e:
                    outcome = e
                self.assertTrue(expected(outcome), outcome)
                self.c.admin("/reset", {})
                self.assertEqual(self.c.api(1, "clusterInfo", headers=headers)[0], 200)

    def test_token_expiry_spares_requests_without_a_token(self):
        self.c.fault(kind="token_expired")
        self.assertEqual(self.c.api(0, "clusterInfo")[0], 200)
        self.assertEqual(self.c.api(0, "clusterInfo", headers={"Authorization": "V2 x"})[0], 401)

    def test_slow_replies_wait(self):
        self.c.fault(kind="slow", seconds=0.4, server=2)
        started = time.monotonic()
        self.assertEqual(self.c.api(2, "etag/0")[0], 200)
        self.assertGreaterEqual(time.monotonic() - started, 0.4)

    def test_faults_keep_to_their_server_path_and_count(self):
        self.c.fault(kind="status", status=500, server=1, path="etag/", count=2)
        self.assertEqual(self.c.api(0, "etag/0")[0], 200)         # other server
        self.assertEqual(self.c.api(1, "clusterInfo")[0], 200)    # other path
        self.assertEqual(self.c.api(1, "etag/0")[0], 500)
        self.assertEqual(self.c.api(1, "etag/0")[0], 500)
        self.assertEqual(self.c.api(1, "etag/0")[0], 200)         # count used up

    def test_down_for_some_requests_hangs_up_after_reading_them(self):
        self.c.fault(kind="down", server=0, path="ua/")
        with self.assertRaises(OSError):
            self.c.api(0, "ua/siteData")
        self.assertEqual(self.c.api(0, "clusterInfo")[0], 200)
        log = self.c.admin("/log")[1]
        self.assertEqual([(e["path"], e["status"]) for e in log],
                         [("/api/v1.0/ua/siteData", 0), ("/api/v1.0/clusterInfo", 200)])

    def test_log_numbers_connections_and_tells_resumed_sessions(self):
        first = KeptConnection(self.c, 1)
        self.assertEqual(first.get("clusterInfo"), 200)
        self.assertEqual(first.get("etag/0"), 200)
        second = KeptConnection(self.c, 1, session=first.tls.session)
        self.assertEqual(second.get("clusterInfo"), 200)
        self.assertTrue(second.tls.session_reused)
        first.close()
        second.close()
        log = self.c.admin("/log")[1]
        self.assertEqual([e["resumed"] for e in log], [False, False, True])
        self.assertEqual(log[0]["connection"], log[1]["connection"])
        self.assertNotEqual(log[1]["connection"], log[2]["connection"])
        self.assertGreater(log[0]["connection"], 0)

    def test_a_server_that_goes_down_ends_its_open_connections(self):
        kept = KeptConnection(self.c, 2)
        self.assertEqual(kept.get("clusterInfo"), 200)
        self.c.fault(kind="down", server=2)
        with self.assertRaises(OSError):
            kept.get("clusterInfo")
        kept.close()
        self.assertEqual([e["status"] for e in self.c.admin("/log")[1]], [200])

    def test_bad_fault_descriptions_are_refused(self):
        for spec in ({"kind": "nonsense"}, {"kind": "status"}, {"kind": "slow"},
                     {"kind": "token_expired", "status": 403}, {"kind": "down", "server": 99},
                     {"kind": "down", "count": 0}, {"kind": "header", "name": "X"}):
            with self.subTest(spec=spec):
                status, reply = self.c.admin("/fault", spec)
                self.assertEqual(status, 400)
                self.assertFalse(reply["ok"])

    def test_request_log_records_requests_in_order(self):
        self.c.api(2, "etag/0?x=1", headers={"X-Test": "one"})
        self.c.api(0, "clusterInfo", method="POST", body=b'{"a":1}',
                   headers={"Content-Type": "application/json"})
        log = self.c.admin("/log")[1]
        self.assertEqual(len(log), 2)
        first, second = log
        self.assertEqual((first["server"], first["method"], first["path"], first["body"]),
                         (2, "GET", "/api/v1.0/etag/0?x=1", ""))
        self.assertEqual(first["headers"]["X-Test"], "one")
        self.assertEqual((second["server"], second["method"], second["body"], second["status"]),
                         (0, "POST", '{"a":1}', 405))
        self.c.admin("/reset", {})
        self.assertEqual(self.c.admin("/log")[1], [])


class AccountsTest(unittest.TestCase):
    """The challenge pair and token expiry, answered as a client would with Python's own RSA."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp

    def new_account(self, **spec):
        status, account = self.c.admin("/accounts", dict({"email": "a@example.test"}, **spec))
        self.assertEqual(status, 200, account)
        key = serialization.load_der_private_key(base64.b64decode(account["privateKey"]), None)
        return account, key

    def challenge(self, account):
        status, _, body = self.c.api(0, "challenge?urn=" + urllib.parse.quote(account["urn"], safe=""))
        self.assertEqual(status, 200, body)
        return json.loads(body)

    def answer(self, reply, key, **extra):
        signature = key.sign(reply["challenge"].encode(), padding.PSS(mgf=padding.MGF1(hashes.SHA512()),
                                                                       salt_length=64), hashes.SHA512())
        body = dict(reply, signature="V2-" + base64.b64encode(signature).decode(), **extra)
        status, _, text = self.c.api(0, "challenge", method="POST", body=json.dumps(body).encode())
        return status, json.loads(text)

    def test_key_pair_account_gets_a_token_once_per_challenge(self):
        account, key = self.new_account()
        reply = self.challenge(account)
        self.assertNotIn("loginSalt", reply)
        self.assertEqual(self.answer(dict(reply, challengeRef="changed"), key, id=account["id"])[0], 400)
        reply = self.challenge(account)
        status, token = self.answer(reply, key, email="a@example.test")
        self.assertEqual(status, 200, token)
        self.assertEqual(token["id"], account["id"])
        self.assertEqual(self.answer(reply, key, id=account["id"])[0], 403)   # used up

    def test_signature_by_another_key_is_refused(self):
        account, _ = self.new_account(password="pw", rounds=10)
        reply = self.challenge(account)
        self.assertEqual((reply["loginSalt"] != "", reply["loginRounds"]), (True, 10))
        _, other = self.new_account(email="b@example.test")
        status, body = self.answer(reply, other, id=account["id"])
        self.assertEqual((status, body["reason"]), (403, "Incorrect Credentials"))

    def test_wrong_login_token_is_refused(self):
        account, key = self.new_account(password="pw", rounds=10)
        status, body = self.answer(self.challenge(account), key, id=account["id"], loginToken="V2-x")
        self.assertEqual((status, body["reason"]), (403, "Incorrect Credentials"))

    def test_expired_tokens_are_refused_by_the_checking_routes(self):
        account, _ = self.new_account(password="pw", rounds=10)
        sid = "sid/" + urllib.parse.quote(account["sid"]["id"], safe="") + "/"
        kp_account, kp_key = self.new_account(email="kp@example.test")
        _, token = self.answer(self.challenge(kp_account), kp_key, id=kp_account["id"])
        bearer = {"Authorization": "V2 " + token["access_token"]}
        self.assertEqual(self.c.api(0, sid, headers=bearer)[0], 200)
        self.assertEqual(self.c.api(0, sid, headers={"Authorization": "V2 unknown"})[0], 200)
        self.assertEqual(self.c.admin("/accounts/expire-tokens", {})[1]["expired"], 1)
        self.assertEqual(self.c.api(0, sid, headers=bearer)[0], 401)
        self.assertEqual(self.c.api(0, sid)[0], 200)
        self.assertEqual(self.c.api(0, "etag/0", headers=bearer)[0], 401)
        self.assertEqual(self.c.api(0, "etag/0", headers={"Authorization": "V2 unknown"})[0], 200)
        self.c.admin("/reset", {})
        self.assertEqual(self.c.api(0, sid)[0], 404)

    def test_totp_codes_follow_the_published_vectors(self):
        # RFC 6238, appendix B (SHA-1 seed "12345678901234567890"): the last six digits.
        secret = base64.b32encode(b"12345678901234567890").decode()
        for at, code in ((59, "287082"), (1111111109, "081804"), (1234567890, "005924"), (2000000000, "279037")):
            self.assertEqual(mfa.totp(secret, at), code)

    def test_mfa_refusal_is_answered_with_the_pairing_code(self):
        self.c.admin("/mfa/require", {"path": "ua/siteData", "action": "decrypt"})
        self.c.admin("/mfa/policy", {"team_id": 4, "value": {"required": True, "totp": {"allowed": True}}})
        pair = self.c.admin("/mfa/pairs", {"kind": "TOTP", "name": "phone"})[1]
        status, _, body = self.c.api(0, "ua/siteData")
        refusal = json.loads(body)
        self.assertEqual((status, refusal["reason"], refusal["action"]), (403, "MFA Required", "decrypt"))
        self.assertEqual(refusal["policy"]["kind"], "MFAPolicy")
        self.assertEqual([p["id"] for p in refusal["pairs"]], [pair["id"]])
        self.assertNotIn("secret", refusal["pairs"][0])

        def answer(token, challenge):
            return {"X-VX-MFA": json.dumps({"protocol": 3, "token": token, "pairId": pair["id"], "challenge": challenge})}
        self.assertEqual(json.loads(self.c.api(0, "ua/siteData", headers=answer("000000x", refusal["challenge"]))[2])
                         ["reason"], "MFA Token Invalid")
        code = self.c.admin("/mfa/code", {"pairId": pair["id"]})[1]["code"]
        self.assertEqual(self.c.api(0, "ua/siteData", headers=answer(code, "made up"))[0], 403)
        status, headers, _ = self.c.api(0, "ua/siteData", headers=answer(code, refusal["challenge"]))
        self.assertEqual(status, 200)
        # A challenge answered right is spent.
        self.assertEqual(self.c.api(0, "ua/siteData", headers=answer(code, refusal["challenge"]))[0], 403)
        stamp = json.loads(headers["X-VX-MFA-TU"])
        passed = self.c.api(0, "ua/siteData", headers={"X-VX-MFA": json.dumps({"timestamp": stamp})})
        self.assertEqual(passed[0], 200)
        self.assertEqual(self.c.admin("/mfa")[1]["verified"], 1)

    def test_mfa_pairs_page_and_drivers(self):
        self.c.admin("/mfa/reject-certificate", {"associationValue": "bad-cert"})
        cert = {"kind": "Certificate", "name": "", "enabled": True, "id": 0, "associationValue": "bad-cert"}
        status, _, body = self.c.api(0, "mfapair/", "POST", json.dumps(cert).encode())
        self.assertEqual((status, json.loads(body)["reason"]), (403, "MFA Certificate Invalid"))
        cert["associationValue"] = "good-cert"
        self.assertEqual(self.c.api(0, "mfapair/", "POST", json.dumps(cert).encode())[0], 201)
        page = self.c.api(0, "aa/endUserLogin", "POST", b'{"op":"MFAAddTOTP"}')
        self.assertEqual(json.loads(page[2])["url"], mfa.PAGE_BASE + "add-totp")
        drivers = json.loads(self.c.api(0, "ua/PKCS11Drivers?platform=Linux&architecture=arm64")[2])
        self.assertEqual([d["architecture"] for d in drivers], ["arm64"])


class ManagedAndMigrationTest(unittest.TestCase):
    """Managed, implicit and migrated accounts, wrapped for the service's key by Python itself."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp

    def service_key(self, satellite=False):
        text = self.c.d["satellite"]["service_public_key"] if satellite else self.c.d["service_public_key"]
        return serialization.load_der_public_key(base64.b64decode(text[3:]))

    @staticmethod
    def rsa_text(key, text):
        oaep = padding.OAEP(mgf=padding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)
        return "V2-" + base64.b64encode(key.encrypt(text.encode(), oaep)).decode()

    def master_form(self, key, secret):
        session = os.urandom(32)
        padder = sympadding.PKCS7(128).padder()
        plain = padder.update(secret.encode()) + padder.finalize()
        worker = Cipher(algorithms.AES(session), modes.CBC(session[:16])).encryptor()
        body = worker.update(plain) + worker.finalize()
        return self.rsa_text(key, base64.b64encode(session).decode()) + "|V4-" + base64.b64encode(body).decode()

    @staticmethod
    def open_v6(key, text):
        tag, iv, body = text.split("-")
        worker = Cipher(algorithms.AES(key), modes.CBC(base64.b64decode(iv))).decryptor()
        plain = worker.update(base64.b64decode(body)) + worker.finalize()
        unpadder = sympadding.PKCS7(128).unpadder()
        return (unpadder.update(plain) + unpadder.finalize()).decode()

    def post(self, path, body, base=None):
        status, _, text = self.c.api(0, path, method="POST", body=json.dumps(body).encode(), base=base)
        return status, json.loads(text)

    def test_managed_sign_in_hands_out_the_password_under_the_one_time_key(self):
        self.c.admin("/accounts", {"email": "m@example.test", "password": "pw", "rounds": 10,
                                   "managedPassword": "dir"})
        one_time = os.urandom(32)
        wrapped_key = self.rsa_text(self.service_key(), base64.b64encode(one_time).decode())
        status, reply = self.post("ua/loginManagedAccount", {
            "email": "M@example.test", "key": wrapped_key, "password": self.master_form(self.service_key(), "dir")})
        self.assertEqual(status, 200, reply)
        self.assertEqual((reply["email"], self.open_v6(one_time, reply["masterPassword"])), ("m@example.test", "pw"))
        status, reply = self.post("ua/loginManagedAccount", {
            "email": "m@example.test", "justChecking": True, "password": self.master_form(self.service_key(), "dir")})
        self.assertEqual((status, reply), (200, {"email": "m@example.test"}))
        status, reply = self.post("ua/loginManagedAccount", {
            "email": "m@example.test", "key": wrapped_key, "password": self.master_form(self.service_key(), "no")})
        self.assertEqual((status, reply["reason"]), (403, "Incorrect Credentials"))

    def test_implicit_routes_need_the_operating_system_user(self):
        self.c.admin("/accounts", {"email": "plain@example.test", "password": "pw", "rounds": 10})
        self.assertEqual(self.c.api(0, "ua/checkWinAuth")[0], 403)
        self.c.admin("/managed/os-user", {"email": "plain@example.test"})
        self.assertEqual(json.loads(self.c.api(0, "ua/checkWinAuth")[2]), {"email": "plain@example.test"})
        key = self.rsa_text(self.service_key(), base64.b64encode(os.urandom(32)).decode())
        status, _, body = self.c.api(0, "aa/masterPassword?key=" + urllib.parse.quote(key, safe=""))
        self.assertEqual((status, json.loads(body)), (200, {"masterPassword": ""}))   # not managed

    def test_migration_steps_check_what_they_are_given(self):
        status, account = self.c.admin("/accounts", {"email": "mv@example.test", "password": "pw", "rounds": 10})
        token = self.rsa_text(self.service_key(), "x")   # any RSA-2048 text: the form is checked
        self.assertEqual(self.post("ua/produceMigrationBlob", {"email": "mv@example.test", "loginToken": token})[0],
                         400)   # not marked for migration
        self.c.admin("/login/migration", {"email": "mv@example.test", "server": {"url": "https://x"}})
        self.assertEqual(self.post("ua/produceMigrationBlob", {"email": "mv@example.test", "loginToken": "V2-x"})[0],
                         403)
        status, blob = self.post("ua/produceMigrationBlob", {"email": "mv@example.test", "loginToken": token})
        self.assertEqual(status, 200, blob)
        self.assertTrue(verify_v2(self.c.d["service_public_key"], blob["blob"]["text"], blob["blob"]["signature"]))
        # The satellite takes the account only with a login token made from the password.
        satellite = self.service_key(True)
        body = dict(blob, sid=account["sid"], email="mv@example.test",
                    password=self.master_form(satellite, "pw"), accountPassword=self.master_form(satellite, "pw"),
                    loginToken=self.rsa_text(satellite, "wrong"), loginTokenHash=self.rsa_text(satellite, "x-y"))
        status, reply = self.post("ua/consumeMigrationBlob", body, base=self.c.d["satellite"]["url"])
        self.assertEqual((status, reply["reason"]), (403, "Incorrect Credentials"))
        self.assertEqual(self.c.admin("/satellite/migration")[1]["consumed"], [])


class StartStopTest(unittest.TestCase):
    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT] + list(args), capture_output=True,
                              text=True, timeout=90)

    def test_start_serves_and_stop_ends_it(self):
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(self.run_script("stop", "--dir", directory).returncode, 0)
            started = self.run_script("start", "--dir", directory, "--servers", "2")
            self.assertEqual(started.returncode, 0, started.stderr)
            description = load_description(directory)
            self.assertEqual(len(description["servers"]), 2)
            self.assertTrue(os.path.exists(description["ca_file"]))
            status, _, _ = Client(description).api(1, "clusterInfo")
            self.assertEqual(status, 200)
            self.assertEqual(self.run_script("stop", "--dir", directory).returncode, 0)
            self.assertFalse(os.path.exists(os.path.join(directory, "service.json")))
            self.assertFalse(keyservice.is_service_process(description["pid"]))
            self.assertEqual(self.run_script("stop", "--dir", directory).returncode, 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
