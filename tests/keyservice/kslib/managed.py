"""Accounts whose password the organisation keeps, and the operating-system user's sign-in.

  POST ua/loginManagedAccount   "email", "password" (the directory password in the master form for this
                                service's key), "key" (an RSA text of a one-time key, base64 of 32 bytes):
                                {"email", "masterPassword"} (the account password as a "V6-" text under
                                the one-time key); {"email"} alone for "justChecking": true
  GET ua/checkWinAuth           {"email"} of the operating-system user
  GET aa/loginImplicitAccount   {"pid": <the operating-system user's identity>, "server": {"pubkey",
                                "authorization"}}
  GET aa/masterPassword?key=<RSA text of a one-time key>
                                {"masterPassword"}: the account password under the one-time key for a
                                managed account, "" for any other
  GET aa/userAuthorityInformation  {"canUseUnmanagedAccounts": bool}
  GET aa/satellitePolicy        the team data of kind "Satellite Policy" of the operating-system user's
                                team
  GET ua/satellitePolicy        the team data of kind "Satellite Policy" of no team (team 0)

The transport sends no operating-system identity: an admin call names the user the service sees and
that user's team (POST /managed/os-user {"email", "team_id"?}; "" for none; team 0 by default). The
routes that need it answer 403 "Incorrect Credentials" while none is named.

Other admin calls: POST /managed/settings {"canUseUnmanagedAccounts"?: bool, "replyWithEmail"?: bool
(false: the managed sign-in's reply carries no "email")}; GET /managed -> {"oneTimeKeys": [...], the
one-time keys the service opened (base64, in order), "passwords": [...], the directory passwords it
opened}.
"""

import base64

from . import credentials
from .login import find_account, server_urn
from .routing import Reply, Route, error_reply

SATELLITE_POLICY = "Satellite Policy"


class ManagedState:
    """The operating-system user and the authority settings. Callers hold the state lock."""

    def __init__(self):
        self.os_user = ""
        self.os_team = 0
        self.can_use_unmanaged = True
        self.reply_with_email = True
        self.one_time_keys = []
        self.passwords = []


def _refused():
    return error_reply(403, "Incorrect Credentials", "Incorrect Credentials")


def _open_one_time_key(state, wrapped):
    """The raw one-time key of an RSA text of its base64 form, remembered for the tests."""
    text = credentials.open_rsa_text(state.key.private_key, wrapped or "")
    key = base64.b64decode(text, validate=True)
    if len(key) != 32:
        raise ValueError("a one-time key has 32 bytes")
    state.managed.one_time_keys.append(text)
    return key


def _os_account(state):
    if not state.managed.os_user:
        return None
    return find_account(state, state.managed.os_user)


def login_managed_account(call):
    body = call.json_body()
    if not isinstance(body, dict):
        return error_reply(400, "A managed sign-in is a JSON object")
    state = call.state
    with state.lock:
        account = find_account(state, body.get("email"))
        if account is None or account.managed_password is None:
            return _refused()
        try:
            given = credentials.open_master_form(state.key.private_key, body.get("password") or "")
        except ValueError:
            return _refused()
        if given != account.managed_password:
            return _refused()
        state.managed.passwords.append(given)
        reply = {"email": account.email} if state.managed.reply_with_email else {}
        if body.get("justChecking") is not True:
            try:
                key = _open_one_time_key(state, body.get("key"))
            except ValueError:
                return error_reply(400, "The one-time key does not open")
            reply["masterPassword"] = credentials.aes_text(key, account.password.encode("utf-8"), True)
        return Reply.json(200, reply)


def check_win_auth(call):
    with call.state.lock:
        account = _os_account(call.state)
        if account is None:
            return _refused()
        return Reply.json(200, {"email": account.email})


def login_implicit_account(call):
    state = call.state
    with state.lock:
        account = _os_account(state)
        if account is None:
            return _refused()
        pid = state.records.reply_form("pid", state.records.forms["pid"][account.id])
        return Reply.json(200, {"pid": pid, "server": {"pubkey": state.key.public_text,
                                                      "authorization": {"server": server_urn(state)}}})


def master_password(call):
    state = call.state
    with state.lock:
        account = _os_account(state)
        if account is None:
            return _refused()
        try:
            key = _open_one_time_key(state, (call.query.get("key") or [""])[0])
        except ValueError:
            return error_reply(400, "The one-time key does not open")
        if account.managed_password is None or account.password is None:
            return Reply.json(200, {"masterPassword": ""})
        return Reply.json(200, {"masterPassword": credentials.aes_text(key, account.password.encode("utf-8"), True)})


def user_authority_information(call):
    with call.state.lock:
        return Reply.json(200, {"canUseUnmanagedAccounts": call.state.managed.can_use_unmanaged})


def _policies(state, team):
    return [state.records.reply_form("teamdata", form) for form in state.records.forms["teamdata"].values()
            if form.get("kind") == SATELLITE_POLICY and form.get("team_id", 0) == team]


def team_satellite_policy(call):
    with call.state.lock:
        account = _os_account(call.state)
        if account is None:
            return _refused()
        return Reply.json(200, _policies(call.state, call.state.managed.os_team))


def satellite_policy(call):
    with call.state.lock:
        return Reply.json(200, _policies(call.state, 0))


API_ROUTES = [
    Route("POST", r"ua/loginManagedAccount", login_managed_account),
    Route("GET", r"ua/checkWinAuth", check_win_auth),
    Route("GET", r"aa/loginImplicitAccount", login_implicit_account),
    Route("GET", r"aa/masterPassword", master_password),
    Route("GET", r"aa/userAuthorityInformation", user_authority_information),
    Route("GET", r"aa/satellitePolicy", team_satellite_policy),
    Route("GET", r"ua/satellitePolicy", satellite_policy),
]


# --- admin calls ------------------------------------------------------------------------------------


def admin_os_user(call):
    spec = call.json_body() or {}
    email = spec.get("email", "")
    team = spec.get("team_id", 0)
    if not isinstance(email, str) or not isinstance(team, int):
        raise ValueError('"email" must be a text and "team_id" a number')
    with call.state.lock:
        call.state.managed.os_user = email
        call.state.managed.os_team = team
    return Reply.json(200, {"ok": True})


def admin_settings(call):
    spec = call.json_body() or {}
    for name in ("canUseUnmanagedAccounts", "replyWithEmail"):
        if name in spec and not isinstance(spec[name], bool):
            raise ValueError('"%s" must be a bool' % name)
    with call.state.lock:
        managed = call.state.managed
        managed.can_use_unmanaged = spec.get("canUseUnmanagedAccounts", managed.can_use_unmanaged)
        managed.reply_with_email = spec.get("replyWithEmail", managed.reply_with_email)
    return Reply.json(200, {"ok": True})


def admin_managed_state(call):
    with call.state.lock:
        managed = call.state.managed
        return Reply.json(200, {"oneTimeKeys": list(managed.one_time_keys), "passwords": list(managed.passwords)})


ADMIN_ROUTES = [
    Route("POST", r"/managed/os-user", admin_os_user),
    Route("POST", r"/managed/settings", admin_settings),
    Route("GET", r"/managed", admin_managed_state),
]
