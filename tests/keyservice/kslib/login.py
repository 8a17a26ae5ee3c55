"""The sign-in routes: the login parameters of an address (with the key server's URN, public key
and the signature of that URN, so that a client that starts from another built-in key learns this
instance's key), the password proof "ua/login/" (the login token wrapped for this instance's key and
the signed login challenge; a challenge this instance did not hand out, or one already used, is
answered "matched": false with a fresh salt, rounds and challenge), the migration credentials check,
and the account transfer to a new device (the login token alone).

Admin calls: POST /login/reset-next {"email"}: the next "ua/login/" of that account is answered
"matched": false whatever it carries; POST /login/migration {"email", "server": {"name", "pubkey",
"url", "authorization"}}: the account must migrate to that server (its login parameters say so).
"""

import os

from . import credentials, signing
from .routing import Reply, Route


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _refused():
    return _error(403, "Incorrect Credentials", "Incorrect Credentials")


class LoginState:
    """The challenges handed out for sign-ins, the forced resets and the migrations. Callers hold the
    state lock."""

    def __init__(self):
        self.challenges = {}       # challenge text -> account id
        self.reset_next = set()    # account ids
        self.migrations = {}       # account id -> migration server
        self.migration_checks = 0


def server_urn(state):
    return "urn:vx:server/" + state.key.public_text[-16:].replace("/", ",")


def find_account(state, email):
    """The account of an address, compared in any letter case."""
    wanted = (email or "").lower()
    for account in state.accounts.by_id.values():
        if account.email.lower() == wanted:
            return account
    return None


def account_forms(state, account):
    """The account's pid and user records as the service sends them."""
    store = state.records
    pid = store.forms["pid"].get(account.id)
    user = next((form for form in store.forms["user"].values() if form.get("ownerid") == account.id), None)
    return store.reply_form("pid", pid), store.reply_form("user", user)


def _new_challenge(state, account):
    challenge = credentials.b64(os.urandom(32))
    state.login.challenges[challenge] = account.id
    return challenge


def _token_matches(state, account, wrapped):
    if account.password is None:
        return False
    try:
        given = credentials.open_rsa_text(state.key.private_key, wrapped or "")
    except ValueError:
        return False
    return given == credentials.login_token(account.password, account.salt, account.rounds)


def login_parameters(call):
    email = (call.query.get("email") or [""])[0]
    state = call.state
    with state.lock:
        account = find_account(state, email)
        if account is None:
            return _refused()
        urn = server_urn(state)
        served_by = state.server_urls[call.server] if 0 <= call.server < len(state.server_urls) \
            else state.server_urls[0]
        reply = {"urn": account.urn, "loginSalt": account.salt or "", "loginRounds": account.rounds or 0,
                 "challenge": _new_challenge(state, account), "mdsUrn": urn,
                 "mdsPubkey": state.key.public_text, "mdsSignature": state.key.sign(urn),
                 "mdsAuthorization": {"server": urn}, "cmdsPrefix": served_by,
                 "accountIsManaged": account.managed_password is not None,
                 "migrationRequired": account.id in state.login.migrations}
        if account.id in state.login.migrations:
            reply["migrationServer"] = state.login.migrations[account.id]
        return Reply.json(200, reply)


def login(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return _error(400, "A sign-in is a JSON object")
    state = call.state
    with state.lock:
        account = state.accounts.find(urn=body.get("urn"))
        if account is None or not _token_matches(state, account, body.get("loginToken")):
            return _refused()
        challenge = body.get("challenge")
        signature = body.get("signature")
        issued = state.login.challenges.get(challenge) if isinstance(challenge, str) else None
        proven = issued == account.id and isinstance(signature, str) and \
            signing.verify_text(account.public_text(), challenge, signature)
        if account.id in state.login.reset_next or not proven:
            state.login.reset_next.discard(account.id)
            return Reply.json(200, {"matched": False, "loginSalt": account.salt, "loginRounds": account.rounds,
                                    "challenge": _new_challenge(state, account)})
        del state.login.challenges[challenge]
        pid, user = account_forms(state, account)
        return Reply.json(200, {"matched": True, "pid": pid, "user": user})


def check_migration_credentials(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return _error(400, "A migration credentials check is a JSON object")
    with call.state.lock:
        account = call.state.accounts.find(urn=body.get("urn"))
        if account is None or not _token_matches(call.state, account, body.get("loginToken")):
            return _refused()
        call.state.login.migration_checks += 1
        return Reply.json(200, {"checked": True})


def account_transfer(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return _error(400, "An account transfer is a JSON object")
    state = call.state
    with state.lock:
        account = find_account(state, body.get("email"))
        if account is None or not _token_matches(state, account, body.get("loginToken")):
            return _refused()
        pid, user = account_forms(state, account)
        return Reply.json(200, {"pid": pid, "user": user})


API_ROUTES = [
    Route("GET", r"ua/loginParameters/?", login_parameters),
    Route("POST", r"ua/login/?", login),
    Route("POST", r"ua/checkMigrationCredentials/?", check_migration_credentials),
    Route("POST", r"ua/accountTransfer/?", account_transfer),
]


# --- admin calls ------------------------------------------------------------------------------------


def _admin_account(call):
    spec = call.json_body() or {}
    account = find_account(call.state, spec.get("email"))
    if account is None:
        raise ValueError("no account for %r" % (spec.get("email"),))
    return spec, account


def admin_reset_next(call):
    with call.state.lock:
        _, account = _admin_account(call)
        call.state.login.reset_next.add(account.id)
        return Reply.json(200, {"ok": True})


def admin_migration(call):
    with call.state.lock:
        spec, account = _admin_account(call)
        server = spec.get("server")
        if not isinstance(server, dict):
            raise ValueError('"server" must be an object')
        call.state.login.migrations[account.id] = dict(server)
        return Reply.json(200, {"ok": True})


def admin_login_state(call):
    with call.state.lock:
        return Reply.json(200, {"migrationChecks": call.state.login.migration_checks,
                                "challenges": len(call.state.login.challenges)})


ADMIN_ROUTES = [
    Route("POST", r"/login/reset-next", admin_reset_next),
    Route("POST", r"/login/migration", admin_migration),
    Route("GET", r"/login", admin_login_state),
]
