#!/usr/bin/python3
"""Self-test of the test key service with Python's own HTTPS client, against the running service
whose folder VX_KEYSERVICE_DIR names (the CTest fixture starts it), plus a start/stop cycle of its own."""

import base64
import json
import os
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
from cryptography.hazmat.primitives.asymmetric import padding

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "keyservice.py")
sys.path.insert(0, HERE)
import keyservice  # noqa: E402 (after the path is set)


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
