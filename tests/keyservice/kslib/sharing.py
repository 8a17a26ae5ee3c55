"""Sharing a managed key and deleting it: the owner's rights, checked against the refusals an account
may carry, and the deletion of a key with everything that belongs to it.

API (below "/api/v1.0/", ahead of the routes of teams.py):

  POST assetright/ ; PUT assetright/<id>/
        an "allow" right that the caller's sharing refusal covers is refused with 403 and its reason:
          "Guest Account"                 every participant but the caller itself:
                                          "Guest accounts cannot share keys with: <address>"
          "Guest Account Internal Only"   participants whose address is of another domain than the
                                          caller's: "Guest accounts can share keys only inside <domain>, not
                                          with <address>"
          "Isolated Server"               participants without an account here ("email!" addresses):
                                          "This server is isolated and cannot share keys with: <address>"
        everything else goes on to teams.py; once the right is stored, the participant's requests
        for the key are answered and leave the service (a "delete" memo each)
  PUT asset/<id>/      only the key's owner changes it (else 403 "Only the owner may change the key")
  DELETE asset/<id>/   only the key's owner deletes it (else 403 "Only the owner may delete the key"):
                       the key, its rights, revisions, requests and features leave the service, and every
                       account that took part in it (its owner, and the participants of its rights and
                       revisions that have an account here) gets a "delete" memo of the key, addressed to
                       it ("recipient_kind" "user", "recipientid" its id)

With per-account views switched on, "datamemo" answers only the memos addressed to the caller or to
nobody in particular (recipientid 0).

Admin calls:

  POST /people/<id>/sharing {"refusal": reason | null}   the account's sharing refusal, or none
  POST /keys/delete {"urn"}                              the owner's other device deletes the key (as above)
"""

import json

from . import memos, records, teams
from .routing import Reply, Route
from .teams import _account, _account_of, _caller, _member

REFUSALS = ("Guest Account", "Guest Account Internal Only", "Isolated Server")
DEPENDANT_STEMS = ("assetright", "assetkey", "assetrequest", "assetfeature")


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _domain(address):
    return address.lower().rpartition("@")[2]


def _refusal(state, caller, form):
    """The refusal of a right the caller sends, or None. The caller holds the state lock."""
    reason = state.teams.sharing.get(caller.id) if caller is not None else None
    if reason is None or _member(form, "access") != "allow":
        return None
    participant = _member(form, "participant")
    if not isinstance(participant, str) or participant == caller.urn:
        return None
    account = _account_of(state, participant)
    forwarded = participant.lower().startswith("email!")
    address = participant[6:].lower() if forwarded else (account.email if account is not None else participant)
    if reason == "Guest Account":
        return _error(403, "Guest accounts cannot share keys with: %s" % address, reason)
    if reason == "Guest Account Internal Only" and _domain(address) != _domain(caller.email):
        return _error(403, "Guest accounts can share keys only inside %s, not with %s" % (_domain(caller.email), address),
                      reason)
    if reason == "Isolated Server" and account is None:
        return _error(403, "This server is isolated and cannot share keys with: %s" % address, reason)
    return None


def _checked(handler):
    def check(call):
        try:
            form = call.json_body()
        except ValueError:
            form = None
        if isinstance(form, dict):
            with call.state.lock:
                refusal = _refusal(call.state, _caller(call), form)
            if refusal is not None:
                return refusal
        reply = handler(call)
        if reply.status in (200, 201) and isinstance(form, dict):
            with call.state.lock:
                _drop_answered_requests(call.state, _member(form, "asset"), _member(form, "participant"))
        return reply
    return check


def _drop_answered_requests(state, asset, participant):
    """The participant's requests for the key are answered by its right (each deletion has its memo)."""
    store = records.store(state)
    for request_id, request in list(store.forms["assetrequest"].items()):
        if _member(request, "asset") == asset and _member(request, "participant") == participant:
            store.delete("assetrequest", request_id)


def _stored_asset(call):
    store = records.store(call.state)
    stored_id = records._find(store.forms["asset"], records._key_of(call))
    return stored_id, (store.forms["asset"].get(stored_id) if stored_id is not None else None)


def update_asset(call):
    with call.state.lock:
        _, asset = _stored_asset(call)
        caller = _caller(call)
        if asset is not None and caller is not None and _member(asset, "owner") != caller.urn:
            return _error(403, "Only the owner may change the key")
    return teams.update_filled(call)


def delete_asset(call):
    with call.state.lock:
        stored_id, asset = _stored_asset(call)
        if asset is None:
            return _error(404, "No asset %s" % records._key_of(call))
        caller = _caller(call)
        if caller is not None and _member(asset, "owner") != caller.urn:
            return _error(403, "Only the owner may delete the key")
        _delete_key(call.state, stored_id, asset)
    return Reply.json(200, {})


def _delete_key(state, stored_id, asset):
    """The key and what belongs to it leave the service; a memo for each account that took part.
    The caller holds the state lock."""
    store = records.store(state)
    urn = _member(asset, "urn")
    recipients = set()
    owner = _account_of(state, _member(asset, "owner"))
    if owner is not None:
        recipients.add(owner.id)
    for stem in DEPENDANT_STEMS:
        for form_id, form in list(store.forms[stem].items()):
            if _member(form, "asset") != urn and form.get("assetid") != stored_id:
                continue
            participant = _account_of(state, _member(form, "participant"))
            if participant is not None and stem in ("assetright", "assetkey"):
                recipients.add(participant.id)
            del store.forms[stem][form_id]
    del store.forms["asset"][stored_id]
    store.identity_keys.pop(("asset", stored_id), None)
    store.changed("asset")
    for recipient in sorted(recipients):
        memo = state.sync.add_memo("delete", "asset", stored_id)
        memo["recipientid"] = recipient


def data_memos(call):
    reply = memos.data_memos(call)
    if reply.status != 200:
        return reply
    with call.state.lock:
        caller = _caller(call)
        if not call.state.teams.views or caller is None:
            return reply
    found = [m for m in json.loads(reply.body) if m.get("recipientid", 0) in (0, caller.id)]
    return Reply.json(200, found)


API_ROUTES = [
    Route("POST", r"(?P<stem>assetright)/", _checked(teams.create_filled)),
    Route("PUT", r"(?P<stem>assetright)/(?P<id>[^/]+)/?", _checked(teams.update_filled)),
    Route("PUT", r"(?P<stem>asset)/(?P<id>[^/]+)/?", update_asset),
    Route("DELETE", r"(?P<stem>asset)/(?P<id>[^/]+)/?", delete_asset),
    Route("GET", r"datamemo", data_memos),
]


def admin_sharing(call):
    spec = call.json_body() or {}
    refusal = spec.get("refusal")
    if refusal is not None and refusal not in REFUSALS:
        raise ValueError("unknown refusal %r" % (refusal,))
    with call.state.lock:
        account = _account(call, call.params["id"])
        if refusal is None:
            call.state.teams.sharing.pop(account.id, None)
        else:
            call.state.teams.sharing[account.id] = refusal
    return Reply.json(200, {"ok": True})


def admin_delete_key(call):
    """The owner's other device deletes the key as DELETE asset/<id>/ does."""
    spec = call.json_body() or {}
    with call.state.lock:
        store = records.store(call.state)
        found = next(((i, f) for i, f in store.forms["asset"].items() if _member(f, "urn") == spec.get("urn")), None)
        if found is None:
            raise ValueError("no key %r" % (spec.get("urn"),))
        _delete_key(call.state, *found)
    return Reply.json(200, {"ok": True})


ADMIN_ROUTES = [
    Route("POST", r"/keys/delete", admin_delete_key),
    Route("POST", r"/people/(?P<id>[0-9]+)/sharing", admin_sharing),
]
