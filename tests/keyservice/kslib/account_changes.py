"""Accounts made and changed by clients, and the device-based password recovery (below "/api/v1.0/"):

  POST ua/createAccount/      a new account from the client's own key material: "pid", "sid", "user"
                              (server forms; the PID signed with its own key), "loginToken" and
                              "loginTokenHash" (both wrapped for the service's key; the hash is
                              checked against the PID's URN), "device" (its record; it keeps "recovery_code"), "deviceName" or
                              "deviceId", "appName", "appVersion", "platform". Answers "pid", "sid",
                              "user", "device". An address already in use is refused (409).
  POST aa/changePassword/     (access token) new "sid" and "user" (salt, rounds, locator), login token
                              and hash; "device" (the device's URN) gets "recovery_code". Answers
                              "user", "sid".
  GET device/                 (access token) the devices the caller's account owns
  PUT pid/<id>/               the generic update; the account's address follows the PID's "email"
  PUT user/<id>/, device/<id>/  the generic update, which here also takes a form whose "record" is
                              unchanged at the same revision (members outside it, such as
                              "email_pending" or "recovery_code", changed alone); a device form
                              without "recovery_code" keeps the code the service holds
  POST recovery               {"email", "device"}: the recovery message with a new token goes to the
                              address when the device has a recovery code and the address is its
                              owner's (404 otherwise); the reply is empty
  GET recovery                header Authorization = a recovery token: {"recovery_code"} of its device
                              (403 for an unknown token)

Admin calls:

  GET /recovery                             the recovery and verification messages sent so far
  POST /accounts/<id>/open {"password", "sid"?}
      opens the account's secret identity (the stored one, or the given form) with the password:
      {"opened": bool, "matchesPid": bool (its private key is the PID's public key's)}
  POST /recovery/open {"device", "cipher"}  the password in a device's recovery cipher under the code
                                            the service holds for that device: {"password"}
"""

import base64
import os

from cryptography.hazmat.primitives import serialization

from . import credentials, records, signing
from .accounts import Account
from .routing import Reply, Route


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _refused():
    return _error(403, "Incorrect Credentials", "Incorrect Credentials")


class RecoveryState:
    """The recovery tokens handed out (token -> device URN) and the messages sent. Callers hold the
    state lock."""

    def __init__(self):
        self.tokens = {}
        self.messages = []


def _recovery(state):
    return state.recovery


class _PublicKeyOnly:
    """The key an account created by a client has on the service: its public half only."""

    def __init__(self, public_key):
        self._public_key = public_key

    def public_key(self):
        return self._public_key


def _caller(call):
    """The account whose access token the request carries, or None."""
    value = next((v for k, v in call.headers.items() if k.lower() == "authorization"), "")
    scheme, _, token = value.partition(" ")
    if scheme != "V2" or not token:
        return None
    issued = call.state.accounts.tokens.get(token)
    if issued is None or issued["expired"]:
        return None
    return call.state.accounts.find(account_id=issued["account"])


def _record(form):
    record = form.get("record") if isinstance(form, dict) else None
    return record if isinstance(record, dict) else {}


def _signed_by_own_key(pid):
    record = _record(pid)
    pubkey = record.get("pubkey")
    signature = pid.get("signature")
    return isinstance(pubkey, str) and isinstance(signature, str) and \
        signing.verify_text(pubkey, signing.canonical_json(record), signature)


def _open_token(call, body, urn):
    """The raw login token of a body whose token and token hash (both wrapped for the service's key)
    open and agree for the URN; None otherwise."""
    try:
        token = credentials.open_rsa_text(call.state.key.private_key, body.get("loginToken") or "")
        token_hash = credentials.open_rsa_text(call.state.key.private_key, body.get("loginTokenHash") or "")
    except ValueError:
        return None
    return token if credentials.token_hash_valid(token, urn, token_hash) else None


def _device_by_urn(store, urn):
    for form in store.forms["device"].values():
        if _record(form).get("urn") == urn:
            return form
    return None


def create_account(call):
    body = call.json_body()
    if not isinstance(body, dict) or not all(isinstance(body.get(n), dict) for n in ("pid", "sid", "user", "device")):
        return _error(400, "An account creation carries pid, sid, user and device")
    state = call.state
    pid, sid, user, device = (dict(body[n]) for n in ("pid", "sid", "user", "device"))
    record = _record(pid)
    urn, email = record.get("urn"), record.get("email")
    if not isinstance(urn, str) or not isinstance(email, str) or not _signed_by_own_key(pid):
        return _error(400, "The identity is not signed with its own key")
    token = _open_token(call, body, urn)
    if token is None:
        return _refused()
    user_record = _record(user)
    with state.lock:
        if any(a.email.lower() == email.lower() for a in state.accounts.by_id.values()):
            return _error(409, "An account with this address exists")
        store = records.store(state)
        pid["id"] = store.new_id("pid", pid)
        store.forms["pid"][pid["id"]] = pid
        user.update({"id": pid["id"], "owner": urn, "ownerid": pid["id"], "homeServer": "",
                     "isManagedAccount": False})
        store.forms["user"][user["id"]] = user
        sid["id"] = _record(sid).get("shash") or store.new_id("sid", {})
        store.forms["sid"][sid["id"]] = sid
        device["id"] = store.new_id("device", device)
        device["ownerid"] = pid["id"]
        store.forms["device"][device["id"]] = device
        for stem in ("pid", "user", "device"):
            store.changed(stem)
        account = Account(pid["id"], email, urn, _PublicKeyOnly(signing.load_public_key_text(record["pubkey"])), None,
                          user_record.get("loginSalt"), user_record.get("loginRounds"), None, "")
        account.token = token
        state.accounts.by_id[account.id] = account
        return Reply.json(200, {"pid": store.reply_form("pid", pid), "sid": sid,
                                "user": store.reply_form("user", user),
                                "device": store.reply_form("device", device)})


def change_password(call):
    body = call.json_body()
    if not isinstance(body, dict) or not isinstance(body.get("sid"), dict) or not isinstance(body.get("user"), dict):
        return _error(400, "A password change carries sid and user")
    state = call.state
    with state.lock:
        account = _caller(call)
        if account is None:
            return _refused()
        token = _open_token(call, body, account.urn)
        if token is None:
            return _refused()
        store = records.store(state)
        user_record = _record(body["user"])
        old_user = store.forms["user"].get(account.id)
        user = dict(body["user"])
        for kept in ("id", "owner", "ownerid", "homeServer", "isManagedAccount"):
            if old_user is not None and kept in old_user:
                user[kept] = old_user[kept]
        store.forms["user"][account.id] = user
        sid = dict(body["sid"])
        sid["id"] = _record(sid).get("shash") or store.new_id("sid", {})
        store.forms["sid"][sid["id"]] = sid
        device = _device_by_urn(store, body.get("device"))
        if device is not None and isinstance(body.get("recovery_code"), str):
            device["recovery_code"] = body["recovery_code"]
        account.password = None
        account.token = token
        account.salt = user_record.get("loginSalt")
        account.rounds = user_record.get("loginRounds")
        store.changed("user")
        return Reply.json(200, {"user": store.reply_form("user", user), "sid": sid})


def list_devices(call):
    with call.state.lock:
        account = _caller(call)
        if account is None:
            return _refused()
        store = records.store(call.state)
        found = [store.reply_form("device", form) for form in store.forms["device"].values()
                 if _record(form).get("owner") == account.urn]
    return Reply.json(200, found)


def update_pid(call):
    reply = records.update_record(call)
    if reply.status == 200:
        with call.state.lock:
            form = records.store(call.state).forms["pid"].get(int(call.params["id"])) \
                if call.params["id"].isdigit() else None
            account = call.state.accounts.find(account_id=form.get("id")) if form else None
            if account is not None and isinstance(_record(form).get("email"), str):
                account.email = _record(form)["email"]
    return reply


def update_outer(call):
    """A PUT whose "record" is unchanged at the same revision changes the members outside it;
    everything else is the generic update."""
    stem = call.params["stem"]
    form = call.json_body()
    with call.state.lock:
        store = records.store(call.state)
        stored_id = next((i for i in store.forms[stem] if str(i) == call.params["id"]), None)
        stored = store.forms[stem].get(stored_id) if stored_id is not None else None
        if stored is None or not isinstance(form, dict) or _record(form) != _record(stored):
            if stem == "device" and stored is not None and isinstance(form, dict) and "recovery_code" not in form \
                    and "recovery_code" in stored:
                form = dict(form, recovery_code=stored["recovery_code"])
            return records.update_record(call, form)
        merged = dict(stored)
        for name, value in form.items():
            if name not in ("id", "owner", "ownerid", "created_at"):
                merged[name] = value
        store.forms[stem][stored_id] = merged
        store.changed(stem)
        if stem == "user" and merged.get("email_pending") is True:
            account = call.state.accounts.find(account_id=merged.get("ownerid"))
            _recovery(call.state).messages.append({"kind": "verification",
                                                    "email": account.email if account else ""})
        return Reply.json(200, store.reply_form(stem, merged))


def post_recovery(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return _error(400, "A recovery request is a JSON object")
    with call.state.lock:
        store = records.store(call.state)
        device = _device_by_urn(store, body.get("device"))
        owner = call.state.accounts.find(urn=_record(device).get("owner")) if device else None
        email = body.get("email") if isinstance(body.get("email"), str) else ""
        if device is None or not device.get("recovery_code") or owner is None or owner.email.lower() != email.lower():
            return _error(404, "No recovery for this device and address")
        token = "rt-" + credentials.b64(os.urandom(24))
        recovery = _recovery(call.state)
        recovery.tokens[token] = _record(device)["urn"]
        recovery.messages.append({"kind": "recovery", "email": email, "device": _record(device)["urn"],
                                  "token": token})
        return Reply.json(200, {})


def get_recovery(call):
    token = next((v for k, v in call.headers.items() if k.lower() == "authorization"), "")
    with call.state.lock:
        urn = _recovery(call.state).tokens.get(token)
        device = _device_by_urn(records.store(call.state), urn) if urn else None
        if device is None:
            return _refused()
        return Reply.json(200, {"recovery_code": device.get("recovery_code", "")})


API_ROUTES = [
    Route("POST", r"ua/createAccount/?", create_account),
    Route("POST", r"aa/changePassword/?", change_password),
    Route("GET", r"device/", list_devices),
    Route("PUT", r"(?P<stem>pid)/(?P<id>[^/]+)/?", update_pid),
    Route("PUT", r"(?P<stem>user|device)/(?P<id>[^/]+)/?", update_outer),
    Route("POST", r"recovery", post_recovery),
    Route("GET", r"recovery", get_recovery),
]


# --- admin calls ------------------------------------------------------------------------------------


def admin_messages(call):
    with call.state.lock:
        return Reply.json(200, list(_recovery(call.state).messages))


def admin_open_account(call):
    spec = call.json_body() or {}
    password = spec.get("password") or ""
    with call.state.lock:
        store = records.store(call.state)
        account_id = int(call.params["id"])
        pid = store.forms["pid"].get(account_id)
        user = store.forms["user"].get(account_id)
        if pid is None or user is None:
            return Reply.json(404, {"ok": False, "error": "no such account"})
        record = _record(user)
        derived = credentials.derived_key(password, record.get("loginSalt", ""), int(record.get("loginRounds", 0)))
        seed = credentials.open_aes_text(derived, record.get("sidLocator", "V5-AA==-AA=="))
        sid = spec.get("sid") or store.forms["sid"].get(credentials.sid_hash(derived, seed))
    opened = False
    matches = False
    if isinstance(sid, dict):
        try:
            der = credentials.open_aes_text(derived, _record(sid).get("prikey", ""))
            key = serialization.load_der_private_key(der, password=None)
            opened = True
            matches = signing.public_key_text(key.public_key()) == _record(pid).get("pubkey")
        except ValueError:
            opened = False
    return Reply.json(200, {"opened": opened, "matchesPid": matches})


def admin_open_recovery(call):
    spec = call.json_body() or {}
    with call.state.lock:
        device = _device_by_urn(records.store(call.state), spec.get("device"))
        code = device.get("recovery_code", "") if device else ""
    if not code:
        return Reply.json(404, {"ok": False, "error": "no recovery code for the device"})
    key = base64.b64decode(code)
    plain = credentials._cbc(key, code.encode("ascii")[:16], base64.b64decode(spec.get("cipher") or ""), False, True)
    return Reply.json(200, {"password": plain.decode("utf-8")})


ADMIN_ROUTES = [
    Route("GET", r"/recovery", admin_messages),
    Route("POST", r"/accounts/(?P<id>[0-9]+)/open", admin_open_account),
    Route("POST", r"/recovery/open", admin_open_recovery),
]
