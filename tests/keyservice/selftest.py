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

    def test_a_fault_after_some_requests_spares_them(self):
        self.c.fault(kind="status", status=503, body="", after=2, count=1)
        self.assertEqual([self.c.api(0, "clusterInfo")[0] for _ in range(4)], [200, 200, 503, 200])

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


    def test_report_routes_keep_what_they_receive(self):
        routes = (("extensiblestats", "POST", "extensiblestats"), ("aa/appStatus", "PUT", "appStatus"),
                  ("AuditLog", "POST", "AuditLog"))
        for path, method, kind in routes:
            with self.subTest(path=path):
                status, _, body = self.c.api(0, path, method=method, body=b'{"n":1}\n')
                self.assertEqual((status, json.loads(body)), (200, {}))
                self.c.api(1, path, method=method, body=b"not json")
                self.assertEqual(self.c.admin("/reports/" + kind)[1],
                                 [{"text": '{"n":1}\n', "json": {"n": 1}}, {"text": "not json", "json": None}])
                self.assertEqual(self.c.api(0, path, method="GET")[0], 405)
        self.c.admin("/reset", {})
        self.assertEqual(self.c.admin("/reports/AuditLog")[1], [])


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

    def test_client_made_account_and_device_recovery(self):
        from kslib import credentials, signing
        from cryptography.hazmat.primitives.asymmetric import rsa
        service_key = signing.load_public_key_text(self.c.d["service_public_key"])
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        urn = "urn:vx:user/selftest"
        pid_record = {"urn": urn, "email": "made@example.test", "name": "Made", "revision": 1,
                      "pubkey": signing.public_key_text(key.public_key())}
        pid = {"id": 0, "record": pid_record,
               "signature": signing.sign_text(key, signing.canonical_json(pid_record))}
        raw_token = credentials.b64(os.urandom(32))
        token_hash = credentials.token_hash(raw_token, urn, credentials.b64(os.urandom(16)))
        body = {"pid": pid, "sid": {"record": {"shash": "V2-selftest", "revision": 1}},
                "user": {"record": {"loginSalt": "salt", "loginRounds": 10, "revision": 1}},
                "device": {"record": {"urn": "LIN-1", "owner": urn, "revision": 1}, "recovery_code": "C" * 44},
                "loginToken": credentials.rsa_text(service_key, raw_token),
                "loginTokenHash": credentials.rsa_text(service_key, token_hash)}
        wrong = dict(body, loginTokenHash=credentials.rsa_text(service_key, "x-y"))
        self.assertEqual(self.c.api(0, "ua/createAccount/", "POST", json.dumps(wrong).encode())[0], 403)
        status, _, text = self.c.api(0, "ua/createAccount/", "POST", json.dumps(body).encode())
        self.assertEqual(status, 200, text)
        self.assertEqual(set(json.loads(text)), {"pid", "sid", "user", "device"})
        self.assertEqual(self.c.api(0, "ua/createAccount/", "POST", json.dumps(body).encode())[0], 409)

        ask = {"email": "other@example.test", "device": "LIN-1"}
        self.assertEqual(self.c.api(0, "recovery", "POST", json.dumps(ask).encode())[0], 404)
        ask["email"] = "MADE@example.test"
        self.assertEqual(self.c.api(0, "recovery", "POST", json.dumps(ask).encode())[0], 200)
        message = self.c.admin("/recovery")[1][-1]
        self.assertEqual((message["kind"], message["device"]), ("recovery", "LIN-1"))
        status, _, text = self.c.api(0, "recovery", headers={"Authorization": message["token"]})
        self.assertEqual((status, json.loads(text)), (200, {"recovery_code": "C" * 44}))
        self.assertEqual(self.c.api(0, "recovery", headers={"Authorization": "rt-unknown"})[0], 403)

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


class TeamsTest(unittest.TestCase):
    """Per-account views, the ids the service fills in and the team's side of a join."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp
    new_account = AccountsTest.new_account
    challenge = AccountsTest.challenge
    answer = AccountsTest.answer

    def bearer(self, email):
        account, key = self.new_account(email=email)
        _, token = self.answer(self.challenge(account), key, id=account["id"])
        return account, {"Authorization": "V2 " + token["access_token"]}

    def listing(self, stem, headers):
        status, _, body = self.c.api(0, stem, headers=headers)
        self.assertEqual(status, 200, body)
        return json.loads(body)

    def test_each_account_sees_its_own_part(self):
        owner, as_owner = self.bearer("owner@example.test")
        holder, as_holder = self.bearer("holder@example.test")
        _, as_stranger = self.bearer("stranger@example.test")
        status, made = self.c.admin("/people/%d/key" % owner["id"], {"urn": "file-1"})
        self.assertEqual(status, 200, made)
        right = {"record": {"asset": "file-1", "owner": owner["urn"], "participant": holder["urn"],
                            "access": "allow", "revision": 1}}
        status, _, body = self.c.api(0, "assetright/", method="POST", body=json.dumps(right).encode(),
                                     headers=as_owner)
        self.assertEqual(status, 201, body)
        stored = json.loads(body)
        self.assertEqual((stored["ownerid"], stored["participantid"], stored["assetid"]),
                         (owner["id"], holder["id"], made["asset"]["id"]))
        self.assertEqual(len(self.listing("asset", as_stranger)), 1, "views are off")
        self.c.admin("/views", {"enabled": True})
        self.assertEqual([f["record"]["urn"] for f in self.listing("asset", as_holder)], ["file-1"])
        self.assertEqual(self.listing("asset", as_stranger), [])
        self.assertEqual(len(self.listing("assetkey", as_owner)), 1)
        self.assertEqual(self.listing("assetkey", as_holder), [])

    def test_the_team_answers_a_join(self):
        status, team = self.c.admin("/teams", {"urn": "urn:team/T"})
        self.assertEqual(status, 200, team)
        joiner, as_joiner = self.bearer("joiner@example.test")
        join = {"record": {"ca": "URN:TEAM/t", "participant": joiner["urn"], "userstatus": "allow", "revision": 1}}
        status, _, body = self.c.api(0, "cajoin/", method="POST", body=json.dumps(join).encode(), headers=as_joiner)
        stored = json.loads(body)
        self.assertEqual((status, stored["caurn"], stored["team_id"], stored["teamstatus"]),
                         (201, "urn:team/T", team["id"], ""))
        self.c.admin("/views", {"enabled": True})
        self.assertEqual(self.listing("teamdata", as_joiner), [], "not a member yet")
        self.c.admin("/teams/joins/%d/answer" % stored["id"], {"teamstatus": "allow"})
        data = self.listing("teamdata", as_joiner)
        self.assertEqual([(d["kind"], d["extra"]) for d in data], [("Contingency", "urn:team/T")])
        # The team's answer stays while the join names the same team.
        join["record"].update(userstatus="deny", revision=2)
        status, _, body = self.c.api(0, "cajoin/%d/" % stored["id"], method="PUT",
                                     body=json.dumps(join).encode(), headers=as_joiner)
        self.assertEqual((status, json.loads(body)["teamstatus"]), (200, "allow"))


class KeysTest(unittest.TestCase):
    """One key by URN and its lists for those who may use it, and the contingency key of a revision."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp
    new_account = AccountsTest.new_account
    challenge = AccountsTest.challenge
    answer = AccountsTest.answer
    bearer = TeamsTest.bearer

    def get(self, path, headers):
        status, _, body = self.c.api(0, path, headers=headers)
        return status, json.loads(body)

    def test_a_key_and_its_lists_only_for_those_who_may_use_it(self):
        owner, as_owner = self.bearer("owner@example.test")
        holder, as_holder = self.bearer("holder@example.test")
        _, as_stranger = self.bearer("stranger@example.test")
        self.c.admin("/people/%d/key" % owner["id"], {"urn": "file/1"})
        right = {"record": {"asset": "file/1", "owner": owner["urn"], "participant": holder["urn"],
                            "access": "allow", "revision": 1}}
        self.c.api(0, "assetright/", method="POST", body=json.dumps(right).encode(), headers=as_owner)
        status, asset = self.get("asset?urn=file%2F1", as_holder)
        self.assertEqual((status, asset["record"]["urn"]), (200, "file/1"))
        status, refusal = self.get("asset?urn=file%2F1", as_stranger)
        self.assertEqual((status, refusal["reason"]), (403, "No Right"))
        self.assertEqual(self.get("assetkey?asseturn=file%2F1", as_stranger)[0], 403)
        self.assertEqual(len(self.get("assetkey?asseturn=file%2F1", as_owner)[1]), 1)
        self.assertEqual(self.get("assetkey?asseturn=file%2F1", as_holder)[1], [], "the owner's revision")
        self.assertEqual(len(self.get("assetright?asseturn=file%2F1", as_holder)[1]), 1)
        self.assertEqual(self.get("asset?urn=file%2F9", as_owner)[0], 404)

    def test_the_contingency_key_needs_the_teams_master_key(self):
        owner, _ = self.new_account(email="owner@example.test")
        holder, as_holder = self.bearer("holder@example.test")
        _, team = self.c.admin("/teams", {"urn": "urn:team/K"})
        _, personal = self.c.admin("/people/%d/key" % owner["id"], {"urn": "priv-o", "kind": "priv"})
        status, ckey = self.c.admin("/teams/%d/contingency-key" % team["id"],
                                    {"account": owner["id"], "keysequence": 1, "session": personal["session"]})
        self.assertEqual(status, 200, ckey)
        team_key = serialization.load_der_private_key(base64.b64decode(team["privateKey"]), None)
        oaep = padding.OAEP(mgf=padding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)
        self.assertEqual(team_key.decrypt(base64.b64decode(ckey["record"]["keymaterial"][3:]), oaep).decode(),
                         personal["session"])
        self.assertEqual(self.get("contingencykey?keyinfo=priv-o%3A1", as_holder)[0], 403)
        status, cmk = self.c.admin("/teams/%d/contingency-master-key" % team["id"], {"account": holder["id"]})
        self.assertEqual((status, cmk["record"]["recipient"]), (200, holder["urn"]))
        status, reply = self.get("contingencykey?keyinfo=priv-o%3A1", as_holder)
        self.assertEqual((status, reply["ckey"]["id"], "okey" in reply), (200, ckey["id"], False))


class SharingTest(unittest.TestCase):
    """Rights refused for guests and isolated servers, the owner's deletion of a key with its memos, and
    a directory record by address."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp
    new_account = AccountsTest.new_account
    challenge = AccountsTest.challenge
    answer = AccountsTest.answer
    bearer = TeamsTest.bearer
    get = KeysTest.get

    def send(self, method, path, form, headers):
        status, _, body = self.c.api(0, path, method=method, body=json.dumps(form).encode(), headers=headers)
        return status, json.loads(body)

    def test_refusals_name_their_reason(self):
        owner, as_owner = self.bearer("owner@example.test")
        holder, _ = self.bearer("holder@other.test")
        self.c.admin("/people/%d/key" % owner["id"], {"urn": "file-1"})

        def right(participant, access="allow"):
            return {"record": {"asset": "file-1", "owner": owner["urn"], "participant": participant,
                               "access": access, "revision": 1}}

        cases = [
            ("Guest Account", holder["urn"], "Guest accounts cannot share keys with: holder@other.test"),
            ("Guest Account Internal Only", holder["urn"], "Guest accounts can share keys only inside example.test, not with holder@other.test"),
            ("Isolated Server", "email!x@else.test", "This server is isolated and cannot share keys with: x@else.test"),
        ]
        for reason, participant, message in cases:
            self.c.admin("/people/%d/sharing" % owner["id"], {"refusal": reason})
            status, reply = self.send("POST", "assetright/", right(participant), as_owner)
            self.assertEqual((status, reply.get("reason"), reply.get("Message")), (403, reason, message), reply)
        # A denial, and a right the refusal does not cover, pass.
        self.assertEqual(self.send("POST", "assetright/", right(holder["urn"], "deny"), as_owner)[0], 201)
        self.assertEqual(self.send("POST", "assetright/", right(holder["urn"]), as_owner)[0], 201)
        self.c.admin("/people/%d/sharing" % owner["id"], {"refusal": None})
        self.assertEqual(self.send("POST", "assetright/", right("email!x@else.test"), as_owner)[0], 201)

    def test_the_owner_deletes_a_key_and_each_participant_gets_a_memo(self):
        owner, as_owner = self.bearer("owner@example.test")
        holder, as_holder = self.bearer("holder@example.test")
        _, as_stranger = self.bearer("stranger@example.test")
        _, made = self.c.admin("/people/%d/key" % owner["id"], {"urn": "file-1"})
        right = {"record": {"asset": "file-1", "owner": owner["urn"], "participant": holder["urn"],
                            "access": "allow", "revision": 1}}
        self.send("POST", "assetright/", right, as_owner)
        asset_id = made["asset"]["id"]
        renamed = dict(made["asset"], record=dict(made["asset"]["record"], name="New", revision=2))
        self.assertEqual(self.send("PUT", "asset/%d/" % asset_id, renamed, as_holder)[0], 403)
        self.assertEqual(self.send("PUT", "asset/%d/" % asset_id, renamed, as_owner)[0], 200)
        status, _, _ = self.c.api(0, "asset/%d/" % asset_id, method="DELETE", headers=as_holder)
        self.assertEqual(status, 403)
        status, _, _ = self.c.api(0, "asset/%d/" % asset_id, method="DELETE", headers=as_owner)
        self.assertEqual(status, 200)
        self.assertEqual(self.get("asset?urn=file-1", as_owner)[0], 404)
        self.assertEqual(self.get("assetright?urn=file-1", as_owner)[1], [])
        self.c.admin("/views", {"enabled": True})
        memos = {name: [(m["entity_kind"], m["entity_id"]) for m in self.get("datamemo", headers)[1]]
                 for name, headers in (("owner", as_owner), ("holder", as_holder), ("stranger", as_stranger))}
        self.assertEqual(memos, {"owner": [("asset", asset_id)], "holder": [("asset", asset_id)], "stranger": []})

    def test_a_directory_record_by_address_in_any_case(self):
        holder, as_holder = self.bearer("Holder@example.test")
        self.c.admin("/people/%d/publish" % holder["id"], {})
        status, found = self.get("xpid?email=HOLDER%40example.test", as_holder)
        self.assertEqual((status, found["record"]["urn"]), (200, holder["urn"]))
        self.assertEqual(self.get("xpid?email=nobody%40example.test", as_holder)[0], 404)


class RecipientsTest(unittest.TestCase):
    """The directory search by addresses, the signed recipient-key reply and its switches, and the
    team's invitation."""

    setUpClass = classmethod(ServiceTest.setUpClass.__func__)
    setUp = ServiceTest.setUp
    new_account = AccountsTest.new_account
    challenge = AccountsTest.challenge
    answer = AccountsTest.answer
    bearer = TeamsTest.bearer
    listing = TeamsTest.listing

    def lookup(self, emails, headers):
        status, _, body = self.c.api(0, "aa/LookupEmailRecipientKeys", method="POST",
                                     body=json.dumps({"emails": emails}).encode(), headers=headers)
        self.assertEqual(status, 200, body)
        reply = json.loads(body)
        signature = reply.pop("signature")
        signed = json.dumps(reply, separators=(",", ":"), sort_keys=True)
        return reply, verify_v2(self.c.d["service_public_key"], signed, signature)

    def test_search_lookup_and_invitation(self):
        a, as_a = self.bearer("A@example.test")
        b, _ = self.bearer("b@example.test")
        for account in (a, b):
            self.c.admin("/people/%d/publish" % account["id"], {})
        found = self.listing("xpid/?emails=a%40example.test%2Cnobody%40example.test%2CB%40EXAMPLE.test", as_a)
        self.assertEqual(sorted(f["record"]["urn"] for f in found), sorted([a["urn"], b["urn"]]))

        reply, valid = self.lookup(["b@example.test", "nobody@example.test"], as_a)
        self.assertTrue(valid)
        self.assertEqual([(r["email"], None if r["xpids"] is None else len(r["xpids"])) for r in reply["results"]],
                         [("b@example.test", 1), ("nobody@example.test", None)])
        self.c.admin("/recipients", {"badSignature": True, "extra": [{"email": "x@example.test", "xpids": []}]})
        reply, valid = self.lookup([], as_a)
        self.assertFalse(valid)
        self.assertEqual(reply["results"], [{"email": "x@example.test", "xpids": []}])
        self.c.admin("/reset", {})

        status, team = self.c.admin("/teams", {"urn": "urn:team/I"})
        invitee, as_invitee = self.bearer("invitee@example.test")
        status, join = self.c.admin("/teams/%d/invite" % team["id"], {"account": invitee["id"]})
        self.assertEqual(status, 200, join)
        self.assertEqual((join["caurn"], join["teamstatus"], join["record"]["userstatus"]),
                         ("urn:team/I", "allow", ""))
        # The invitee's answer keeps the team's.
        answer = {"record": dict(join["record"], userstatus="allow", revision=2)}
        status, _, body = self.c.api(0, "cajoin/%d/" % join["id"], method="PUT", body=json.dumps(answer).encode(),
                                     headers=as_invitee)
        self.assertEqual((status, json.loads(body)["teamstatus"]), (200, "allow"))


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
