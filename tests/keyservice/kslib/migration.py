"""An account's move from one service to another, in two steps on two independent services.

  POST ua/produceMigrationBlob   on the service the account leaves: "email", "loginToken" (wrapped for
                                 the client's built-in key, whose private half no test service holds:
                                 only its form is checked, an RSA-2048 text) and the device members;
                                 the account must be marked for migration (POST /login/migration).
                                 Answers {"pid", "user", "blob"}: the account's records and a text
                                 naming the account and this service, signed with this service's key
  POST ua/consumeMigrationBlob   on the service the account moves to: the produce reply with "sid"
                                 (the account's secret identity) added, "email", "password" and
                                 "accountPassword" (master forms for this service's key), "loginToken"
                                 and "loginTokenHash" (RSA texts for this service's key) and the device
                                 members. This service opens all of them with its own key, checks the
                                 login token against the password and the user record's salt and
                                 rounds, the token hash against the identity's URN, and that the
                                 password opens the secret identity the user record locates, whose
                                 private key must verify the identity record's signature. Then the
                                 account is made here (new ids, same URN, key and password); {} is
                                 answered. Every check that fails is 403 "Incorrect Credentials".

Admin call: GET /migration -> {"produced": n, "consumed": [{"email", "password", "accountPassword",
"urn"}, ...]} with what this service opened.
"""

import base64
import re

from cryptography.hazmat.primitives import serialization

from . import credentials, signing
from .accounts import Account
from .login import find_account, server_urn
from .routing import Reply, Route, error_reply

_RSA_TEXT = re.compile(r"V2-[A-Za-z0-9+/]+={0,2}")


class MigrationState:
    """What the two steps did. Callers hold the state lock."""

    def __init__(self):
        self.produced = 0
        self.consumed = []


def _refused():
    return error_reply(403, "Incorrect Credentials", "Incorrect Credentials")


def _is_rsa_2048_text(text):
    if not isinstance(text, str) or not _RSA_TEXT.fullmatch(text):
        return False
    try:
        return len(base64.b64decode(text[3:], validate=True)) == 256
    except ValueError:
        return False


def produce(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return error_reply(400, "A migration request is a JSON object")
    state = call.state
    with state.lock:
        account = find_account(state, body.get("email"))
        if account is None or not _is_rsa_2048_text(body.get("loginToken")):
            return _refused()
        if account.id not in state.login.migrations:
            return error_reply(400, "Account %s is not migrating" % account.email)
        pid = state.records.reply_form("pid", state.records.forms["pid"][account.id])
        user = state.records.reply_form("user", state.records.forms["user"][account.id])
        blob = signing.canonical_json({"urn": account.urn, "email": account.email, "from": server_urn(state)})
        state.migration.produced += 1
        return Reply.json(200, {"pid": pid, "user": user, "blob": {"text": blob, "signature": state.key.sign(blob)}})


def _record(form):
    record = form.get("record") if isinstance(form, dict) else None
    return record if isinstance(record, dict) else {}


def _identity_key(sid, password, salt, rounds, pid):
    """The private key of the secret identity, opened with the password; it must have signed the
    identity record. None when anything does not match."""
    derived = credentials.derived_key(password, salt, rounds)
    prikey = credentials.open_aes_text(derived, _record(sid).get("prikey") or "")
    key = serialization.load_der_private_key(prikey, password=None)
    public = signing.public_key_text(key.public_key())
    if not signing.verify_text(public, signing.canonical_json(_record(pid)), pid.get("signature") or ""):
        return None
    return key


def consume(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return error_reply(400, "A migration request is a JSON object")
    state = call.state
    private = state.key.private_key
    pid, user, sid = body.get("pid"), body.get("user"), body.get("sid")
    if not all(isinstance(form, dict) for form in (pid, user, sid)) or not isinstance(body.get("blob"), dict):
        return error_reply(400, "The migration needs the blob, pid, user and sid")
    try:
        password = credentials.open_master_form(private, body.get("password") or "")
        account_password = credentials.open_master_form(private, body.get("accountPassword") or "")
        token = credentials.open_rsa_text(private, body.get("loginToken") or "")
        token_hash = credentials.open_rsa_text(private, body.get("loginTokenHash") or "")
    except ValueError:
        return _refused()
    urn = _record(pid).get("urn") or ""
    salt = _record(user).get("loginSalt") or ""
    rounds = _record(user).get("loginRounds") or 0
    if not salt or not isinstance(rounds, int) or rounds <= 0:
        return error_reply(400, "The user record carries no login salt and rounds")
    if token != credentials.login_token(password, salt, rounds) or \
            not credentials.token_hash_valid(token, urn, token_hash):
        return _refused()
    derived = credentials.derived_key(password, salt, rounds)
    try:
        seed = credentials.open_aes_text(derived, _record(user).get("sidLocator") or "")
        if credentials.sid_hash(derived, seed) != sid.get("id"):
            return _refused()
        key = _identity_key(sid, password, salt, rounds, pid)
    except ValueError:
        return _refused()
    if key is None:
        return _refused()
    with state.lock:
        if find_account(state, body.get("email")) is not None:
            return error_reply(409, "An account with that address exists already")
        store = state.records
        new_pid = {"record": dict(_record(pid)), "signature": pid.get("signature", "")}
        new_pid["id"] = store.new_id("pid", new_pid)
        store.forms["pid"][new_pid["id"]] = new_pid
        store.identity_keys[("pid", new_pid["id"])] = key
        new_user = {"record": dict(_record(user)), "signature": user.get("signature", ""), "owner": urn,
                    "ownerid": new_pid["id"], "id": new_pid["id"], "homeServer": user.get("homeServer", ""),
                    "isManagedAccount": bool(user.get("isManagedAccount", False))}
        store.forms["user"][new_user["id"]] = new_user
        store.forms["sid"][sid["id"]] = {"id": sid["id"], "record": dict(_record(sid))}
        store.changed("pid")
        store.changed("user")
        email = _record(pid).get("email") or body.get("email")
        state.accounts.by_id[new_pid["id"]] = Account(new_pid["id"], email, urn, key, password, salt, rounds,
                                                      None, new_user["homeServer"])
        state.migration.consumed.append({"email": body.get("email"), "password": password,
                                         "accountPassword": account_password, "urn": urn})
        return Reply.json(200, {})


API_ROUTES = [
    Route("POST", r"ua/produceMigrationBlob", produce),
    Route("POST", r"ua/consumeMigrationBlob", consume),
]


def admin_migration_state(call):
    with call.state.lock:
        return Reply.json(200, {"produced": call.state.migration.produced,
                                "consumed": [dict(entry) for entry in call.state.migration.consumed]})


ADMIN_ROUTES = [
    Route("GET", r"/migration", admin_migration_state),
]
