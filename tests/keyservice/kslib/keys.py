"""One managed key as its users load it, and the contingency road to a key revision.

API (below "/api/v1.0/", ahead of the list routes of teams.py, to which every other GET of these
stems goes):

  GET asset?urn=<urn>                 the key; 404 when unknown; 403 {"reason": "No Right"} unless the
                                      caller may use it
  GET assetkey?asseturn=<urn>         the key's revisions, rights, features and requests: all of them
  GET assetright?asseturn=<urn>       for its owner; for another user who may use the key its own
  GET assetfeature?asseturn=<urn>     revisions, rights and requests and every feature; 403 "No Right"
  GET assetrequest?asseturn=<urn>     for anybody else
  GET contingencykey?keyinfo=<urn>:<sequence>
                                      {"ckey": <the owner's contingency key of the personal key that
                                      wraps the revision's "ckeymaterial">, "okey": <the owner's
                                      revision>}; for a personal key {"ckey": <the contingency key of
                                      that sequence>} alone; 404 when either is missing; 403 "No
                                      Right" unless the caller holds a contingency master key of the
                                      contingency key's team

The caller may use a key it owns, or one of which it holds a revision or an "allow" right (its URN
or its "email!" address), unless a "deny" right for it says otherwise. The caller is the account the
request's access token was issued to.

Admin calls:

  POST /teams/<id>/contingency-master-key {"account"}
        the team's contingency private key (DER) in the master form for the account's key, the record
        signed with that private key; answers the stored form
  POST /teams/<id>/contingency-key {"account", "keysequence", "session"}
        the account's contingency key: its personal session key of that sequence (base64 text) as an
        RSA text for the team's contingency public key, signed by the account; answers the stored form
"""

from . import credentials, records, signing, teams
from .routing import Reply, Route
from .teams import _account, _caller, _forwarded, _member, _store_new, _team


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _no_right():
    return _error(403, "The key is not shared with you", "No Right")


def _asset_form(store, urn):
    return next((f for f in store.forms["asset"].values() if _member(f, "urn") == urn), None)


def _may_use(store, account, asset):
    """Whether the account may use the key: the caller's lock is held."""
    if account is None:
        return False
    urn = _member(asset, "urn")
    if _member(asset, "owner") == account.urn:
        return True
    mine = {account.urn.lower(), _forwarded(account)}

    def me(form):
        participant = _member(form, "participant")
        return isinstance(participant, str) and participant.lower() in mine

    rights = [f for f in store.forms["assetright"].values() if _member(f, "asset") == urn and me(f)]
    if any(_member(f, "access") == "deny" for f in rights):
        return False
    if any(_member(f, "access") == "allow" for f in rights):
        return True
    return any(_member(f, "asset") == urn and me(f) for f in store.forms["assetkey"].values())


def _one(call, name):
    values = call.query.get(name)
    return values[0] if values else None


def get_asset(call):
    urn = _one(call, "urn")
    if urn is None:
        return teams.list_for_caller(call)
    with call.state.lock:
        store = records.store(call.state)
        asset = _asset_form(store, urn)
        if asset is None:
            return _error(404, "No asset %s" % urn)
        if not _may_use(store, _caller(call), asset):
            return _no_right()
        return Reply.json(200, store.reply_form("asset", asset))


def get_key_list(call):
    urn = _one(call, "asseturn")
    if urn is None:
        return teams.list_for_caller(call)
    stem = call.params["stem"]
    with call.state.lock:
        store = records.store(call.state)
        asset = _asset_form(store, urn)
        if asset is None:
            return _error(404, "No asset %s" % urn)
        account = _caller(call)
        if not _may_use(store, account, asset):
            return _no_right()
        owner = _member(asset, "owner") == account.urn
        mine = {account.urn.lower(), _forwarded(account)}
        found = []
        for form in store.forms[stem].values():
            if _member(form, "asset") != urn:
                continue
            participant = _member(form, "participant")
            if owner or stem == "assetfeature" or (isinstance(participant, str) and participant.lower() in mine):
                found.append(store.reply_form(stem, form))
    return Reply.json(200, found)


def _personal_sequence(ckeymaterial):
    parts = (ckeymaterial or "").split("-")
    if len(parts) != 4 or parts[0] != "V3" or not parts[1].isdigit():
        return None
    return int(parts[1])


def get_contingency_key(call):
    keyinfo = _one(call, "keyinfo")
    if keyinfo is None:
        return teams.list_for_caller(call)
    urn, _, sequence_text = keyinfo.rpartition(":")
    if not urn or not sequence_text.isdigit():
        return _error(400, "Invalid key information")
    sequence = int(sequence_text)
    with call.state.lock:
        store = records.store(call.state)
        asset = _asset_form(store, urn)
        if asset is None:
            return _error(404, "No asset %s" % urn)
        owner = _member(asset, "owner")
        reply = {}
        if urn.startswith("priv-"):
            personal = sequence
        else:
            okey = next((f for f in store.forms["assetkey"].values()
                         if _member(f, "asset") == urn and _member(f, "participant") == owner
                         and _member(f, "keysequence") == sequence), None)
            if okey is None:
                return _error(404, "No key %s" % keyinfo)
            personal = _personal_sequence(_member(okey, "ckeymaterial"))
            reply["okey"] = store.reply_form("assetkey", okey)
        ckey = next((f for f in store.forms["contingencykey"].values()
                     if _member(f, "owner") == owner and _member(f, "keysequence") == personal), None)
        if ckey is None:
            return _error(404, "No contingency key for %s" % keyinfo)
        account = _caller(call)
        ca = str(_member(ckey, "ca") or "").lower()
        holds = account is not None and any(
            _member(f, "recipient") == account.urn and str(_member(f, "ca") or "").lower() == ca
            for f in store.forms["contingencymasterkey"].values())
        if not holds:
            return _no_right()
        reply["ckey"] = store.reply_form("contingencykey", ckey)
    return Reply.json(200, reply)


API_ROUTES = [
    Route("GET", r"(?P<stem>asset)", get_asset),
    Route("GET", r"(?P<stem>assetkey|assetright|assetfeature|assetrequest)", get_key_list),
    Route("GET", r"(?P<stem>contingencykey)", get_contingency_key),
]


# --- admin calls ------------------------------------------------------------------------------------


def admin_contingency_master_key(call):
    spec = call.json_body() or {}
    with call.state.lock:
        team = _team(call)
        account = _account(call, spec.get("account"))
        der = credentials.private_key_der(team["key"])
        record = {"recipient": account.urn, "keymaterial": credentials.master_form(account.key.public_key(), der),
                  "ca": team["urn"], "revision": 1}
        form = {"record": record, "signature": signing.sign_text(team["key"], signing.canonical_json(record))}
        form = _store_new(records.store(call.state), "contingencymasterkey", form)
    return Reply.json(200, form)


def admin_contingency_key(call):
    spec = call.json_body() or {}
    with call.state.lock:
        team = _team(call)
        account = _account(call, spec.get("account"))
        record = {"owner": account.urn, "keysequence": int(spec.get("keysequence", 1)),
                  "keymaterial": credentials.rsa_text(team["key"].public_key(), str(spec.get("session", ""))),
                  "ca": team["urn"], "revision": 1}
        form = {"record": record, "signature": signing.sign_text(account.key, signing.canonical_json(record))}
        form = _store_new(records.store(call.state), "contingencykey", form)
    return Reply.json(200, form)


ADMIN_ROUTES = [
    Route("POST", r"/teams/(?P<id>[0-9]+)/contingency-master-key", admin_contingency_master_key),
    Route("POST", r"/teams/(?P<id>[0-9]+)/contingency-key", admin_contingency_key),
]
