"""Teams, and what a second user needs to hold keys issued to them.

API (below "/api/v1.0/"):

  POST cajoin/ ; PUT cajoin/<id>/   a user's join of a team: the service fills "caurn" (the team's own
                                    URN for the "ca" sent, in any letter case; else the "ca"), "team_id"
                                    (0 for an unknown team), "participantid" (the caller) and keeps the
                                    team's answer "teamstatus" while the join names the same team
                                    (empty for a new join, or one moved to another team)
  POST/PUT asset, assetright, assetkey, assetrequest, assetfeature
                                    the ids the service reports are filled when the body lacks them:
                                    "ownerid", "participantid" (the account of the URN, or of the
                                    address of an "email!" URN; 0 when none) and "assetid"
  GET <list stem>                   with per-account views switched on, a list holds only what the
                                    calling account may see (below); otherwise as lists.py answers

Per-account views (the account is the one the request's access token was issued to): keys
("asset") the account owns or holds a right or key revision of; rights and key revisions it owns or
is the participant of (its URN or its "email!" address); requests it made or for keys it owns;
features of the keys it sees; its own joins, application data, contingency keys and contingency
master keys; team data (team 0 or a team of the account) and contingency groups of its teams. A team
of the account is the user record's "team_id", or a join with "allow" on both sides. Directory
records ("xpid") and everything else are not filtered.

Admin calls:

  POST /views {"enabled": bool}                   per-account views on or off (off after reset)
  POST /teams {"urn"}                             a team with a contingency key pair: the team datum
                                                  ("Contingency", "Public Key", value the public key,
                                                  "extra" the team URN), signed by the service; answers
                                                  {"id", "urn", "publicKey", "privateKey" (base64 DER)}
  POST /teams/<id>/member {"account"}             the account's user record names the team ("ca",
                                                  "team_id"): a full member
  POST /teams/<id>/contingency-group {"account"}  the account joins the team's contingency group
                                                  (a record signed with its own key)
  POST /teams/joins/<join id>/answer {"teamstatus"}  the team's side answers a join
  POST /teams/<id>/invite {"account"}             the team's side invites the account: a join with
                                                  "teamstatus" "allow" and no answer of the user
  POST /people/<account id>/publish               the account's directory record ("xpid")
  POST /people/<account id>/verified              the account's address is verified (its user record
                                                  says "authenticated")
  POST /people/<account id>/key {"urn", "kind"?, "ca"?}
                                                  a key the account owns ("file", or "priv" for its
                                                  personal key) and its own revision 1, both signed by
                                                  the account; answers {"asset", "key", "session"}
  POST /people/registered {"email"}               the address now belongs to its account: rights and key
                                                  revisions of "email!<address>" (any letter case) get
                                                  its id as "participantid", the revisions also
                                                  "forwarded_keymaterial" (the key material, which the
                                                  service's own key opens, wrapped for the account), and
                                                  its directory record is published

Session keys and wrapped forms as credentials.py describes them."""

import json
import os

from cryptography.hazmat.primitives.asymmetric import rsa

from . import credentials, lists, records, signed_values, signing
from .directory import identity_form
from .routing import Reply, Route
from .sync_state import now_text

ID_STEMS = {
    "asset": (("ownerid", "owner"),),
    "assetright": (("ownerid", "owner"), ("participantid", "participant"), ("assetid", "asset")),
    "assetkey": (("ownerid", "owner"), ("participantid", "participant"), ("assetid", "asset")),
    "assetrequest": (("participantid", "participant"), ("assetid", "asset")),
    "assetfeature": (("ownerid", "owner"), ("assetid", "asset")),
}
VIEW_STEMS = ("asset", "assetright", "assetkey", "assetrequest", "assetfeature", "cajoin", "appdata",
              "contingencykey", "contingencymasterkey", "contingencygroup", "teamdata")


class TeamState:
    """The teams by id and the view switch. Callers hold the service state's lock."""

    def __init__(self):
        self.teams = {}
        self.views = False
        self.sharing = {}   # account id -> the reason its "allow" rights are refused with (sharing.py)

    def team_of_urn(self, urn):
        for team in self.teams.values():
            if team["urn"].lower() == (urn or "").lower():
                return team
        return None


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _member(form, name):
    record = form.get("record") if isinstance(form.get("record"), dict) else {}
    return form.get(name, record.get(name))


def _caller(call):
    """The account the request's access token was issued to, or None."""
    value = next((v for k, v in call.headers.items() if k.lower() == "authorization"), "")
    _, _, token = value.partition(" ")
    issued = call.state.accounts.tokens.get(token)
    return call.state.accounts.by_id.get(issued["account"]) if issued else None


def _forwarded(account):
    return "email!" + account.email.lower()


def _account_of(state, urn):
    """The account a participant URN names: by URN, or by address for an "email!" URN."""
    if not isinstance(urn, str):
        return None
    if urn.lower().startswith("email!"):
        address = urn[6:].lower()
        return next((a for a in state.accounts.by_id.values() if a.email.lower() == address), None)
    return state.accounts.find(urn=urn)


def _asset_id(store, urn):
    for form in store.forms["asset"].values():
        if _member(form, "urn") == urn:
            return form["id"]
    return 0


def _fill_ids(state, stem, form):
    store = records.store(state)
    for id_name, urn_name in ID_STEMS.get(stem, ()):
        if form.get(id_name):
            continue
        urn = _member(form, urn_name)
        if id_name == "assetid":
            form[id_name] = _asset_id(store, urn)
        else:
            account = _account_of(state, urn)
            form[id_name] = account.id if account is not None else 0


def _fill_join(state, form, caller, stored):
    ca = _member(form, "ca") or ""
    team = state.teams.team_of_urn(ca)
    form["caurn"] = team["urn"] if team else ca
    form["team_id"] = team["id"] if team else 0
    if caller is not None:
        form["participantid"] = caller.id
    same_team = stored is not None and (stored.get("caurn") or "").lower() == form["caurn"].lower()
    form["teamstatus"] = stored.get("teamstatus", "") if same_team else ""


def _stored_form(state, stem, call):
    store = records.store(state)
    stored_id = records._find(store.forms[stem], records._key_of(call))
    return store.forms[stem].get(stored_id) if stored_id is not None else None


def _filled(call, stored):
    """The request body with what the service fills in; None when it is not a JSON object."""
    try:
        form = call.json_body()
    except ValueError:
        return None
    if not isinstance(form, dict):
        return None
    stem = call.params["stem"]
    with call.state.lock:
        if stem == "cajoin":
            _fill_join(call.state, form, _caller(call), stored)
        else:
            _fill_ids(call.state, stem, form)
    return form


def create_filled(call):
    form = _filled(call, None)
    if form is not None:
        call.body = json.dumps(form)
    return records.create_record(call)


def update_filled(call):
    with call.state.lock:
        stored = _stored_form(call.state, call.params["stem"], call)
    form = _filled(call, stored)
    if form is not None:
        call.body = json.dumps(form)
    return records.update_record(call)


# --- per-account views ------------------------------------------------------------------------------


def _teams_of(state, account):
    store = records.store(state)
    teams = {0}
    user = store.forms["user"].get(account.id) or {}
    if user.get("team_id"):
        teams.add(user["team_id"])
    for form in store.forms["cajoin"].values():
        if _member(form, "participant") == account.urn and _member(form, "userstatus") == "allow" \
                and form.get("teamstatus") == "allow":
            teams.add(form.get("team_id", 0))
    return teams


def _visible_filter(state, account):
    store = records.store(state)
    mine = {account.urn, _forwarded(account)}

    def me(urn):
        return isinstance(urn, str) and (urn in mine or urn.lower() in mine)

    held_assets = set()
    for stem in ("assetright", "assetkey"):
        for form in store.forms[stem].values():
            if me(_member(form, "participant")):
                held_assets.add(_member(form, "asset"))
    owned_assets = {_member(f, "urn") for f in store.forms["asset"].values() if _member(f, "owner") == account.urn}
    seen_assets = owned_assets | held_assets
    teams = _teams_of(state, account)
    team_urns = {t["urn"].lower() for t in state.teams.teams.values() if t["id"] in teams}

    def visible(stem, form):
        if stem == "asset":
            return _member(form, "urn") in seen_assets
        if stem in ("assetright", "assetkey"):
            return _member(form, "owner") == account.urn or me(_member(form, "participant"))
        if stem == "assetrequest":
            return me(_member(form, "participant")) or _member(form, "asset") in owned_assets
        if stem == "assetfeature":
            return _member(form, "asset") in seen_assets
        if stem == "cajoin":
            return _member(form, "participant") == account.urn
        if stem in ("appdata", "contingencykey"):
            return _member(form, "owner") == account.urn
        if stem == "contingencymasterkey":
            return _member(form, "recipient") == account.urn
        if stem == "contingencygroup":
            return (form.get("caid") or "").lower() in team_urns
        if stem == "teamdata":
            return form.get("team_id", 0) in teams
        return True

    return visible


def list_for_caller(call):
    reply = lists.list_records(call)
    stem = call.params["stem"]
    if reply.status != 200 or stem not in VIEW_STEMS:
        return reply
    with call.state.lock:
        account = _caller(call)
        if not call.state.teams.views or account is None:
            return reply
        visible = _visible_filter(call.state, account)
        found = [form for form in json.loads(reply.body) if visible(stem, form)]
    return Reply.json(200, found)


_ID_STEM = "(?P<stem>%s)" % "|".join(list(ID_STEMS) + ["cajoin"])
_VIEW_STEM = "(?P<stem>%s)" % "|".join(VIEW_STEMS)

API_ROUTES = [
    Route("POST", _ID_STEM + "/", create_filled),
    Route("PUT", _ID_STEM + "/(?P<id>[^/]+)/?", update_filled),
    Route("GET", _VIEW_STEM, list_for_caller),
]


# --- admin calls ------------------------------------------------------------------------------------


def _account(call, account_id):
    account = call.state.accounts.find(account_id=int(account_id))
    if account is None:
        raise ValueError("no account %r" % (account_id,))
    return account


def _store_new(store, stem, form):
    form["id"] = store.new_id(stem, form)
    form["created_at"] = form["updated_at"] = now_text()
    store.forms[stem][form["id"]] = form
    store.changed(stem)
    return form


def _signed(account, form):
    form["record"].setdefault("revision", 1)
    form["signature"] = signing.sign_text(account.key, signing.canonical_json(form["record"]))
    return form


def admin_views(call):
    spec = call.json_body() or {}
    with call.state.lock:
        call.state.teams.views = bool(spec.get("enabled", True))
    return Reply.json(200, {"ok": True})


def admin_team(call):
    spec = call.json_body() or {}
    urn = spec.get("urn")
    if not isinstance(urn, str) or not urn:
        raise ValueError('"urn" is required')
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    public = signing.public_key_text(key.public_key())
    with call.state.lock:
        store = records.store(call.state)
        team_id = max([0] + list(call.state.teams.teams)) + 1
        call.state.teams.teams[team_id] = {"id": team_id, "urn": urn, "key": key}
        datum = {"team_id": team_id, "kind": "Contingency", "name": "Public Key", "value": public, "extra": urn}
        datum = _store_new(store, "teamdata", datum)
        datum["signature"] = call.state.key.sign(signed_values.team_data_signed_text(datum))
    return Reply.json(200, {"id": team_id, "urn": urn, "publicKey": public,
                            "privateKey": credentials.b64(credentials.private_key_der(key))})


def _team(call):
    team = call.state.teams.teams.get(int(call.params["id"]))
    if team is None:
        raise ValueError("no team %s" % call.params["id"])
    return team


def admin_member(call):
    spec = call.json_body() or {}
    with call.state.lock:
        team = _team(call)
        account = _account(call, spec.get("account"))
        store = records.store(call.state)
        user = store.forms["user"][account.id]
        user["ca"] = team["urn"]
        user["team_id"] = team["id"]
        user["updated_at"] = now_text()
        store.changed("user")
    return Reply.json(200, {"ok": True})


def admin_contingency_group(call):
    spec = call.json_body() or {}
    with call.state.lock:
        team = _team(call)
        account = _account(call, spec.get("account"))
        form = _signed(account, {"record": {"urn": account.urn, "name": account.email, "email": account.email,
                                            "pubkey": account.public_text()}, "caid": team["urn"]})
        form = _store_new(records.store(call.state), "contingencygroup", form)
    return Reply.json(200, form)


def admin_answer_join(call):
    spec = call.json_body() or {}
    with call.state.lock:
        store = records.store(call.state)
        stored_id = records._find(store.forms["cajoin"], call.params["id"])
        if stored_id is None:
            raise ValueError("no join %s" % call.params["id"])
        form = store.forms["cajoin"][stored_id]
        form["teamstatus"] = str(spec.get("teamstatus", ""))
        form["updated_at"] = now_text()
        store.changed("cajoin")
        return Reply.json(200, form)


def admin_invite(call):
    """The team's side invites the account: a join with the team's "allow" and no answer of the user."""
    spec = call.json_body() or {}
    with call.state.lock:
        team = _team(call)
        account = _account(call, spec.get("account"))
        form = {"record": {"participant": account.urn, "ca": team["urn"], "userstatus": "", "revision": 1},
                "caurn": team["urn"], "team_id": team["id"], "teamstatus": "allow", "participantid": account.id}
        form = _store_new(records.store(call.state), "cajoin", form)
    return Reply.json(200, form)


def _publish(state, account):
    store = records.store(state)
    form = identity_form(account)
    form["created_at"] = form["updated_at"] = now_text()
    store.forms["xpid"][account.id] = form
    store.changed("xpid")
    return form


def admin_publish(call):
    with call.state.lock:
        return Reply.json(200, _publish(call.state, _account(call, call.params["id"])))


def admin_verified(call):
    with call.state.lock:
        account = _account(call, call.params["id"])
        store = records.store(call.state)
        user = store.forms["user"][account.id]
        user["authenticated"] = True
        user["updated_at"] = now_text()
        store.changed("user")
    return Reply.json(200, {"ok": True})


def admin_key(call):
    """A key the account owns and its revision 1 for the account, both signed with its key."""
    spec = call.json_body() or {}
    urn = spec.get("urn")
    if not isinstance(urn, str) or not urn:
        raise ValueError('"urn" is required')
    session = credentials.b64(os.urandom(32))
    with call.state.lock:
        account = _account(call, call.params["id"])
        store = records.store(call.state)
        asset = _signed(account, {"record": {"owner": account.urn, "name": spec.get("name") or urn, "urn": urn,
                                             "object_kind": spec.get("kind") or "file", "object_cookie": ""},
                                  "ownerid": account.id})
        asset = _store_new(store, "asset", asset)
        record = {"asset": urn, "owner": account.urn, "participant": account.urn, "keysequence": 1,
                  "keymaterial": credentials.rsa_text(account.key.public_key(), session)}
        if spec.get("ca"):
            record["ca"] = spec["ca"]
        key = _signed(account, {"record": record, "assetid": asset["id"], "ownerid": account.id,
                                "participantid": account.id})
        key = _store_new(store, "assetkey", key)
    return Reply.json(200, {"asset": asset, "key": key, "session": session})


def admin_registered(call):
    spec = call.json_body() or {}
    email = str(spec.get("email", "")).lower()
    with call.state.lock:
        account = next((a for a in call.state.accounts.by_id.values() if a.email.lower() == email), None)
        if account is None:
            raise ValueError("no account for %s" % email)
        store = records.store(call.state)
        invited = "email!" + email
        tied = 0
        for stem in ("assetright", "assetkey"):
            for form in store.forms[stem].values():
                if str(_member(form, "participant")).lower() != invited:
                    continue
                form["participantid"] = account.id
                if stem == "assetkey":
                    session = credentials.open_rsa_text(call.state.key.private_key, _member(form, "keymaterial"))
                    form["forwarded_keymaterial"] = credentials.rsa_text(account.key.public_key(), session)
                form["updated_at"] = now_text()
                store.changed(stem)
                tied += 1
        _publish(call.state, account)
    return Reply.json(200, {"ok": True, "tied": tied})


ADMIN_ROUTES = [
    Route("POST", r"/views", admin_views),
    Route("POST", r"/teams", admin_team),
    Route("POST", r"/teams/(?P<id>[0-9]+)/member", admin_member),
    Route("POST", r"/teams/(?P<id>[0-9]+)/contingency-group", admin_contingency_group),
    Route("POST", r"/teams/joins/(?P<id>[^/]+)/answer", admin_answer_join),
    Route("POST", r"/teams/(?P<id>[0-9]+)/invite", admin_invite),
    Route("POST", r"/people/(?P<id>[0-9]+)/publish", admin_publish),
    Route("POST", r"/people/(?P<id>[0-9]+)/verified", admin_verified),
    Route("POST", r"/people/(?P<id>[0-9]+)/key", admin_key),
    Route("POST", r"/people/registered", admin_registered),
]
