"""Accounts and challenge authorization. An account is an identity key pair with its signed identity
("pid") and user records, and for a password account the login salt and rounds, the secret identity
("sid") holding the private key as a "V6-" text under the derived key, and the locator that names it
(formats in credentials.py). The service hands out a login challenge per identity URN ("challenge"
GET), checks the answer (POST: the PSS signature of the challenge under the identity's key, the login
token wrapped for the service's key, the challenge reply's own members echoed) and issues access
tokens, which the admin call can expire: a request that carries an expired token to a route that
checks tokens is answered 401. Also the credentials check and the signed remote-disabled record
(managed accounts: managed.py)."""

import os

from cryptography.hazmat.primitives.asymmetric import rsa

from . import credentials, records, signing
from .routing import Reply, Route

DEFAULT_ROUNDS = 50000


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _refused():
    return _error(403, "Incorrect Credentials", "Incorrect Credentials")


class Account:
    def __init__(self, account_id, email, urn, key, password, salt, rounds, managed_password, home_server):
        self.id = account_id
        self.email = email
        self.urn = urn
        self.key = key
        self.password = password
        self.salt = salt
        self.rounds = rounds
        self.managed_password = managed_password
        self.home_server = home_server
        self.enabled = True

    def public_text(self):
        return signing.public_key_text(self.key.public_key())


class AccountStore:
    """Accounts by id, the outstanding challenges and the issued tokens. Callers hold the state lock."""

    def __init__(self):
        self.by_id = {}
        self.challenges = {}     # challenge text -> (account id, its reply)
        self.tokens = {}         # token -> {"account": id, "expired": bool}

    def find(self, urn=None, email=None, account_id=None):
        for account in self.by_id.values():
            if (urn is not None and account.urn == urn) or (email is not None and account.email == email) \
                    or (account_id is not None and account.id == account_id):
                return account
        return None


def _store(call):
    return call.state.accounts


def token_refusal(call):
    """A 401 reply when the request carries a token this service issued and expired; else None."""
    value = next((v for k, v in call.headers.items() if k.lower() == "authorization"), "")
    scheme, _, token = value.partition(" ")
    if scheme != "V2" or not token:
        return None
    with call.state.lock:
        issued = _store(call).tokens.get(token)
        if issued is not None and issued["expired"]:
            return _error(401, "Access token has expired")
    return None


# --- API routes -------------------------------------------------------------------------------------


def get_challenge(call):
    urn = (call.query.get("urn") or [""])[0]
    with call.state.lock:
        account = _store(call).find(urn=urn)
        if account is None:
            return _error(404, "No identity %s" % urn)
        reply = {"challenge": credentials.b64(os.urandom(32)), "challengeRef": credentials.b64(os.urandom(9))}
        if account.password is not None:
            reply["loginSalt"] = account.salt
            reply["loginRounds"] = account.rounds
        _store(call).challenges[reply["challenge"]] = (account.id, dict(reply))
        return Reply.json(200, reply)


def post_challenge(call):
    answer = call.json_body()
    if not isinstance(answer, dict) or not isinstance(answer.get("challenge"), str):
        return _error(400, "A challenge answer is a JSON object with the challenge")
    with call.state.lock:
        store = _store(call)
        pending = store.challenges.pop(answer["challenge"], None)
        if pending is None:
            return _refused()
        account_id, issued = pending
        if "id" in answer:
            account = store.find(account_id=answer["id"])
        else:
            account = store.find(email=answer.get("email"))
        if account is None or account.id != account_id:
            return _refused()
        # The challenge reply comes back whole, members this service alone knows included.
        if any(answer.get(name) != value for name, value in issued.items()):
            return _error(400, "The challenge reply was not echoed")
        signature = answer.get("signature")
        if not isinstance(signature, str) or not signing.verify_text(account.public_text(), answer["challenge"],
                                                                     signature):
            return _refused()
        if account.password is not None:
            expected = credentials.login_token(account.password, account.salt, account.rounds)
            try:
                given = credentials.open_rsa_text(call.state.key.private_key, answer.get("loginToken") or "")
            except ValueError:
                return _refused()
            if given != expected:
                return _refused()
        token = "tok-" + credentials.b64(os.urandom(18))
        store.tokens[token] = {"account": account.id, "expired": False}
        return Reply.json(200, {"access_token": token, "id": account.id})


def check_credentials(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return _error(400, "A credentials check is a JSON object")
    return Reply.json(200, {"checked": True})


def check_remote_user_disabled(call):
    refusal = token_refusal(call)
    if refusal is not None:
        return refusal
    urn = (call.query.get("urn") or [""])[0]
    with call.state.lock:
        account = _store(call).find(urn=urn)
        if account is None:
            return _error(404, "No identity %s" % urn)
        text = signing.canonical_json({"urn": account.urn, "enabled": account.enabled})
        return Reply.json(200, {"record": text, "signature": call.state.key.sign(text)})


def get_sid(call):
    refusal = token_refusal(call)
    if refusal is not None:
        return refusal
    return records.get_record(call)


API_ROUTES = [
    Route("GET", r"challenge", get_challenge),
    Route("POST", r"challenge", post_challenge),
    Route("POST", r"aa/checkCredentials", check_credentials),
    Route("GET", r"ua/checkRemoteUserDisabled", check_remote_user_disabled),
    Route("GET", r"(?P<stem>sid)/(?P<id>[^/]+)/?", get_sid),
]


# --- admin calls ------------------------------------------------------------------------------------


def admin_make_account(call):
    """POST /accounts {"email", "password"?, "rounds"?, "managedPassword"?, "homeServer"?, "name"?}:
    an account; without "password" a key-pair account. Answers its id, URN, records, private key."""
    spec = call.json_body() or {}
    email = spec.get("email") or "user@example.test"
    password = spec.get("password")
    rounds = int(spec.get("rounds") or DEFAULT_ROUNDS)
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    urn = spec.get("urn") or "urn:vx:user/" + credentials.urnsafe(credentials.b64(os.urandom(9)))
    with call.state.lock:
        store = call.state.records
        pid = {"record": {"urn": urn, "name": spec.get("name") or email, "email": email, "revision": 1}}
        pid["id"] = store.new_id("pid", pid)
        store.sign("pid", key, pid)
        store.forms["pid"][pid["id"]] = pid
        store.identity_keys[("pid", pid["id"])] = key
        user = {"record": {"revision": 1}, "owner": urn, "ownerid": pid["id"],
                "homeServer": spec.get("homeServer") or "", "isManagedAccount": "managedPassword" in spec}
        sid = None
        salt = None
        if password is not None:
            salt = credentials.new_salt()
            derived = credentials.derived_key(password, salt, rounds)
            seed = os.urandom(32)
            shash = credentials.sid_hash(derived, seed)
            user["record"].update({"loginSalt": salt, "loginRounds": rounds,
                                   "sidLocator": credentials.aes_text(derived, seed, False)})
            sid = {"id": shash, "record": {"shash": shash, "version": "V3", "revision": 1,
                                           "prikey": credentials.aes_text(
                                               derived, credentials.private_key_der(key), True)}}
            store.forms["sid"][shash] = sid
        # The service keeps the user record under the account's (PID's) id.
        user["id"] = pid["id"]
        store.sign("user", key, user)
        store.forms["user"][user["id"]] = user
        store.changed("pid")
        store.changed("user")
        account = Account(pid["id"], email, urn, key, password, salt, rounds, spec.get("managedPassword"),
                          user["homeServer"])
        _store(call).by_id[account.id] = account
        return Reply.json(200, {"id": account.id, "urn": urn, "email": email,
                                "pid": store.reply_form("pid", pid), "user": store.reply_form("user", user),
                                "sid": sid, "privateKey": credentials.b64(credentials.private_key_der(key))})


def admin_expire_tokens(call):
    """POST /accounts/expire-tokens: every token issued so far is refused (401) from now on."""
    with call.state.lock:
        tokens = _store(call).tokens
        for issued in tokens.values():
            issued["expired"] = True
        return Reply.json(200, {"ok": True, "expired": len(tokens)})


def admin_update_account(call):
    """POST /accounts/<id>/update {"enabled": bool}: the account's state as the service reports it."""
    spec = call.json_body() or {}
    with call.state.lock:
        account = _store(call).find(account_id=int(call.params["id"]))
        if account is None:
            return Reply.json(404, {"ok": False, "error": "no such account"})
        if "enabled" in spec:
            account.enabled = bool(spec["enabled"])
        return Reply.json(200, {"ok": True})


ADMIN_ROUTES = [
    Route("POST", r"/accounts", admin_make_account),
    Route("POST", r"/accounts/expire-tokens", admin_expire_tokens),
    Route("POST", r"/accounts/(?P<id>[0-9]+)/update", admin_update_account),
]
