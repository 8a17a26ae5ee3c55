"""Multi-factor authentication: requests the service refuses for MFA until they carry a valid
"X-VX-MFA" answer, the MFA pairings ("mfapair/", with certificates the service calls invalid), the MFA
management page ("aa/endUserLogin") and the PKCS#11 driver list ("ua/PKCS11Drivers").

A request whose API path begins with a prefix named by POST /mfa/require is refused with 403
{"Message", "reason": "MFA Required", "policy": the newest "MFAPolicy" team datum (when there is
one), "pairs": the stored pairings without their secrets, "action", "challenge": a new challenge}
unless its "X-VX-MFA" header (JSON) carries
  - a "timestamp" this service handed out in an "X-VX-MFA-TU" reply header less than the rule's
    "grace" seconds ago, or
  - "challenge" (one handed out and not answered right yet), "token" and "pairId": the token must be the
    pairing's current TOTP code (RFC 6238: HMAC-SHA1 over the base32 "secret", 30-second steps, six
    digits; the step before and after count too). With "newPair" the code is checked against that
    pairing instead, which is stored when it is accepted; a certificate pairing the service calls
    invalid is refused with reason "MFA Certificate Invalid".
A wrong answer is 403 reason "MFA Token Invalid". An accepted one is served and its reply carries
"X-VX-MFA-TU" with a new time stamp (JSON text).

Admin calls:
  POST /mfa/require {"path": prefix, "action": text, "grace": seconds (300)}
  POST /mfa/pairs {"kind", "name", "enabled", "associationValue", "secret"}: a stored pairing (a TOTP
      pairing without "secret" gets a new one); answers the stored form with its secret
  POST /mfa/code {"pairId"} or {"secret"}: {"code": the TOTP code now}
  POST /mfa/reject-certificate {"associationValue"}: the service calls that certificate invalid
  POST /mfa/policy {"team_id", "value", "forged": bool}: an "MFAPolicy" team datum signed by the
      service, or with a signature over other text when "forged"
  POST /mfa/pkcs11 {"drivers": [...]}: the reply of "ua/PKCS11Drivers"
  GET /mfa: {"verified": accepted answers, "refused": refusals, "challenges": open challenges}
"""

import base64
import hashlib
import hmac
import json
import os
import struct
import datetime
import time

from . import records, signed_values
from .routing import Reply, Route

TOTP_STEP = 30
DEFAULT_GRACE = 300
PAGE_BASE = "https://mfa.example.test/manage/"
DEFAULT_DRIVERS = [
    {"name": "OpenSC", "path": "/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so", "platform": "Linux",
     "architecture": "x86_64"},
    {"name": "OpenSC", "path": "/usr/lib/aarch64-linux-gnu/opensc-pkcs11.so", "platform": "Linux",
     "architecture": "arm64"},
]


class MfaState:
    """Rules, open challenges, issued time stamps, rejected certificates, the driver list. Callers
    hold the service state's lock."""

    def __init__(self):
        self.rules = []                 # {"path", "action", "grace"}
        self.challenges = set()
        self.timestamps = {}            # time stamp text -> (issued at, grace)
        self.rejected_certificates = set()
        self.drivers = [dict(d) for d in DEFAULT_DRIVERS]
        self.verified = 0
        self.refused = 0


def _now():
    return datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def totp(secret, at=None, offset=0):
    """The six-digit TOTP code of a base32 secret at a time (now by default), `offset` steps away."""
    padded = secret.upper() + "=" * (-len(secret) % 8)
    key = base64.b32decode(padded)
    counter = int((time.time() if at is None else at) // TOTP_STEP) + offset
    digest = hmac.new(key, struct.pack(">Q", counter), hashlib.sha1).digest()
    start = digest[-1] & 0x0F
    number = struct.unpack(">I", digest[start:start + 4])[0] & 0x7FFFFFFF
    return "%06d" % (number % 1000000)


def _header(headers, name):
    for key, value in headers.items():
        if key.lower() == name.lower():
            return value
    return None


def _pairs(store):
    """The stored pairings as a refusal lists them: without secrets."""
    return [{k: v for k, v in form.items() if k not in ("secret", "token")} for form in store.forms["mfapair"].values()]


def _policy(store):
    """The newest "MFAPolicy" team datum, or None."""
    found = [form for form in store.forms["teamdata"].values() if form.get("kind") == "MFAPolicy"]
    return found[-1] if found else None


def _store_pair(store, form):
    """Stores a pairing under a new id with its times; the stored form."""
    form["id"] = store.new_id("mfapair", form)
    form["created_at"] = form["updated_at"] = _now()
    store.forms["mfapair"][form["id"]] = form
    store.changed("mfapair")
    return form


def _rule(state, path):
    for rule in state.mfa.rules:
        if path.startswith(rule["path"]):
            return rule
    return None


def _timestamp_valid(state, given):
    if given is None:
        return False
    text = json.dumps(given, separators=(",", ":"), sort_keys=True)
    issued = state.mfa.timestamps.get(text)
    return issued is not None and time.time() - issued[0] < issued[1]


def _new_timestamp(state, grace):
    value = {"issued": int(time.time()), "nonce": os.urandom(8).hex()}
    text = json.dumps(value, separators=(",", ":"), sort_keys=True)
    state.mfa.timestamps[text] = (time.time(), grace)
    return text


def _code_matches(secret, token):
    if not isinstance(secret, str) or not secret or not isinstance(token, str):
        return False
    try:
        return any(hmac.compare_digest(totp(secret, offset=step), token) for step in (-1, 0, 1))
    except (ValueError, TypeError):
        return False


def _refusal(state, rule):
    store = records.store(state)
    challenge = base64.b64encode(os.urandom(18)).decode()
    state.mfa.challenges.add(challenge)
    state.mfa.refused += 1
    body = {"Message": "Multi-factor authentication required", "reason": "MFA Required", "pairs": _pairs(store),
            "action": rule["action"], "challenge": challenge}
    policy = _policy(store)
    if policy is not None:
        body["policy"] = store.reply_form("teamdata", policy)
    return Reply.json(403, body)


def gate(call):
    """For a request inside the API: a refusal to send instead of serving it, or None and the
    headers to add to its reply."""
    state = call.state
    with state.lock:
        rule = _rule(state, call.path)
        if rule is None:
            return None, []
        try:
            answer = json.loads(_header(call.headers, "X-VX-MFA") or "null")
        except ValueError:
            answer = None
        if not isinstance(answer, dict):
            return _refusal(state, rule), []
        if _timestamp_valid(state, answer.get("timestamp")):
            return None, []
        token = answer.get("token")
        if not token:
            return _refusal(state, rule), []
        challenge = answer.get("challenge")
        if challenge not in state.mfa.challenges:
            return _error(403, "Unknown or used MFA challenge", "MFA Token Invalid"), []
        store = records.store(state)
        new_pair = answer.get("newPair")
        if isinstance(new_pair, dict):
            if new_pair.get("kind") == "Certificate" and \
                    new_pair.get("associationValue") in state.mfa.rejected_certificates:
                return _error(403, "The certificate is not valid", "MFA Certificate Invalid"), []
            secret = new_pair.get("secret")
        else:
            pair = store.forms["mfapair"].get(answer.get("pairId"))
            secret = pair.get("secret") if pair is not None else None
        if not _code_matches(secret, token):
            return _error(403, "The MFA token is not valid", "MFA Token Invalid"), []
        if isinstance(new_pair, dict):
            _store_pair(store, dict(new_pair))
        # A challenge serves until it is answered right.
        state.mfa.challenges.discard(challenge)
        state.mfa.verified += 1
        return None, [("X-VX-MFA-TU", _new_timestamp(state, rule["grace"]))]


def create_pair(call):
    """POST mfapair/: a certificate the service calls invalid is refused; the rest are stored."""
    form = call.json_body()
    if isinstance(form, dict) and form.get("kind") == "Certificate":
        with call.state.lock:
            if form.get("associationValue") in call.state.mfa.rejected_certificates:
                return _error(403, "The certificate is not valid", "MFA Certificate Invalid")
    call.params = {"stem": "mfapair"}
    return records.create_record(call)


def end_user_login(call):
    body = call.json_body()
    op = body.get("op") if isinstance(body, dict) else None
    pages = {"MFAAddTOTP": "add-totp", "MFASettings": "settings"}
    if op not in pages:
        return _error(400, "Unknown operation %r" % (op,))
    return Reply.json(200, {"url": PAGE_BASE + pages[op]})


def pkcs11_drivers(call):
    platform = (call.query.get("platform") or [""])[0]
    architecture = (call.query.get("architecture") or [""])[0]
    with call.state.lock:
        drivers = [d for d in call.state.mfa.drivers
                   if d.get("platform", platform) == platform and d.get("architecture", architecture) == architecture]
    return Reply.json(200, drivers)


API_ROUTES = [
    Route("POST", r"mfapair/", create_pair),
    Route("POST", r"aa/endUserLogin/?", end_user_login),
    Route("GET", r"ua/PKCS11Drivers/?", pkcs11_drivers),
]


# --- admin calls ------------------------------------------------------------------------------------


def _ok(**extra):
    value = {"ok": True}
    value.update(extra)
    return Reply.json(200, value)


def admin_require(call):
    spec = call.json_body() or {}
    if not isinstance(spec.get("path"), str):
        raise ValueError('"path" must be a text')
    with call.state.lock:
        call.state.mfa.rules.append({"path": spec["path"], "action": str(spec.get("action", "")),
                                     "grace": float(spec.get("grace", DEFAULT_GRACE))})
    return _ok()


def admin_pair(call):
    spec = call.json_body() or {}
    form = {"kind": str(spec.get("kind", "TOTP")), "name": str(spec.get("name", "")),
            "enabled": bool(spec.get("enabled", True))}
    secret = spec.get("secret")
    if secret is None and form["kind"] == "TOTP":
        secret = base64.b32encode(os.urandom(20)).decode().rstrip("=")
    if secret:
        form["secret"] = str(secret)
    if spec.get("associationValue"):
        form["associationValue"] = str(spec["associationValue"])
    with call.state.lock:
        return Reply.json(200, _store_pair(records.store(call.state), form))


def admin_code(call):
    spec = call.json_body() or {}
    secret = spec.get("secret")
    if secret is None:
        with call.state.lock:
            pair = records.store(call.state).forms["mfapair"].get(spec.get("pairId"))
            secret = pair.get("secret") if pair is not None else None
    if not isinstance(secret, str) or not secret:
        raise ValueError("no secret for %r" % (spec,))
    return _ok(code=totp(secret))


def admin_reject_certificate(call):
    spec = call.json_body() or {}
    with call.state.lock:
        call.state.mfa.rejected_certificates.add(str(spec.get("associationValue", "")))
    return _ok()


def admin_policy(call):
    spec = call.json_body() or {}
    value = spec.get("value", {})
    text = value if isinstance(value, str) else json.dumps(value, separators=(",", ":"), sort_keys=True)
    with call.state.lock:
        form = {"team_id": int(spec.get("team_id", 0)), "kind": "MFAPolicy", "name": str(spec.get("name", "MFA")),
                "value": text}
        store = records.store(call.state)
        form["id"] = store.new_id("teamdata", form)
        form["created_at"] = form["updated_at"] = _now()
        signed = signed_values.team_data_signed_text(form)
        form["signature"] = call.state.key.sign(signed + ("forged" if spec.get("forged") else ""))
        store.forms["teamdata"][form["id"]] = form
        store.changed("teamdata")
        return Reply.json(200, form)


def admin_drivers(call):
    spec = call.json_body() or {}
    drivers = spec.get("drivers")
    if not isinstance(drivers, list):
        raise ValueError('"drivers" must be an array')
    with call.state.lock:
        call.state.mfa.drivers = drivers
    return _ok()


def admin_state(call):
    with call.state.lock:
        mfa = call.state.mfa
        return Reply.json(200, {"verified": mfa.verified, "refused": mfa.refused, "challenges": len(mfa.challenges)})


ADMIN_ROUTES = [
    Route("POST", r"/mfa/require", admin_require),
    Route("POST", r"/mfa/pairs", admin_pair),
    Route("POST", r"/mfa/code", admin_code),
    Route("POST", r"/mfa/reject-certificate", admin_reject_certificate),
    Route("POST", r"/mfa/policy", admin_policy),
    Route("POST", r"/mfa/pkcs11", admin_drivers),
    Route("GET", r"/mfa", admin_state),
]
