"""The synchronization's list and account routes (below "/api/v1.0/"):

  GET <stem>[?since=<t>]                 every record of a list stem, or those changed since t
  GET app?deviceid=<n>[&since=<t>]       the per-device lists ("app", "appdata") of one device; the
                                         application data of the user (device id 0) with the device's
  GET etag/<PID id>/                     the account's tags: "etag", "gtag", "ltag", "ctag", "id"
  GET user/<PID id>/                     the account's user record, with the service's "now"

and the admin calls through which a test acts as another device of the same user, or another user:

  POST /sync/records/<stem> {"form": {...}, "signer": "service" | <account id>}
      stores a new record (a new id, the change times) and answers it; with "signer" its "record"
      object is signed by the service's key or by that account's key
  POST /sync/records/<stem>/<id>/change {"record": {...}, "outer": {...}, "signer": ...}
      changes a stored record: members set, the next revision, signed again when a signer is named
  POST /sync/records/<stem>/<id>/delete            deletes it (a data memo announces the deletion)
  POST /sync/user/<PID id> {"sproxy": text}        changes the account's credential token
  POST /sync/device/<id> {"enabled": bool}         the service disables or enables a device

Every change raises the account's etag."""

import urllib.parse

from . import records, signed_values, signing
from .routing import Reply, Route
from .sync_state import now_text

LIST_STEMS = ("app", "xpid", "asset", "assetright", "assetkey", "assetrequest", "assetfeature",
              "contingencygroup", "contingencykey", "contingencymasterkey", "appdata", "teamdata", "upload",
              "mfapair", "cajoin", "teamauthority", "deployment")
_LIST_PATTERN = "(?P<stem>%s)" % "|".join(s for s in LIST_STEMS if s in records.RECORD_STEMS)
DEVICE_STEMS = ("app", "appdata")


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _first(call, name):
    values = call.query.get(name)
    return values[0] if values else None


def list_records(call):
    stem = call.params["stem"]
    if stem == "xpid" and ("urn" in call.query or "email" in call.query):
        return signed_values.find_identity(call)
    since = _first(call, "since")
    device = _first(call, "deviceid")
    if stem in DEVICE_STEMS and device is None:
        return _error(400, "%s needs the deviceid query" % stem)
    with call.state.lock:
        store = records.store(call.state)
        found = []
        for form in store.forms[stem].values():
            if since is not None and form.get("updated_at", "") < since:
                continue
            if device is not None and str(form.get("deviceid")) != device \
                    and not (stem == "appdata" and form.get("deviceid") == 0):
                continue
            found.append(store.reply_form(stem, form))
    return Reply.json(200, found)


def account_etag(call, account_id):
    with call.state.lock:
        store = records.store(call.state)
        if account_id not in store.forms["pid"]:
            return _error(404, "No account with id %d" % account_id)
        document = {"etag": store.etag, "id": account_id}
    document.update(call.state.tags())
    return Reply.json(200, document)


def _user_of(store, account_id):
    for form in store.forms["user"].values():
        if form.get("ownerid") == account_id:
            return form
    return None


def account_user(call):
    account_id = int(call.params["id"])
    with call.state.lock:
        store = records.store(call.state)
        form = _user_of(store, account_id)
        if form is None:
            form = store.forms["user"].get(account_id)
        if form is None:
            return _error(404, "No user %d" % account_id)
        reply = store.reply_form("user", form)
        reply["now"] = now_text()
        return Reply.json(200, reply)


API_ROUTES = [
    Route("GET", _LIST_PATTERN, list_records),
    Route("GET", r"user/(?P<id>[0-9]+)/?", account_user),
]


# --- admin calls ------------------------------------------------------------------------------------


def _sign(call, stem, form, signer):
    if signer is None:
        return
    if signer == "service":
        form["signature"] = call.state.key.sign(signing.canonical_json(form["record"]))
        return
    account = call.state.accounts.find(account_id=int(signer))
    if account is None:
        raise ValueError("no account %r to sign with" % (signer,))
    form["signature"] = signing.sign_text(account.key, signing.canonical_json(form["record"]))


def admin_add(call):
    stem = call.params["stem"]
    spec = call.json_body() or {}
    form = dict(spec.get("form") or {})
    with call.state.lock:
        store = records.store(call.state)
        if "record" in form:
            form["record"] = dict(form["record"])
            form["record"].setdefault("revision", 1)
        form["id"] = store.new_id(stem, form)
        form["created_at"] = form["updated_at"] = now_text()
        _sign(call, stem, form, spec.get("signer"))
        store.forms[stem][form["id"]] = form
        store.changed(stem)
        return Reply.json(200, store.reply_form(stem, form))


def _stored(store, stem, given):
    stored_id = records._find(store.forms[stem], urllib.parse.unquote(given))
    if stored_id is None:
        raise ValueError("no %s %s" % (stem, given))
    return stored_id


def admin_change(call):
    stem = call.params["stem"]
    spec = call.json_body() or {}
    with call.state.lock:
        store = records.store(call.state)
        stored_id = _stored(store, stem, call.params["id"])
        form = store.forms[stem][stored_id]
        form.update(spec.get("outer") or {})
        if isinstance(form.get("record"), dict):
            form["record"].update(spec.get("record") or {})
            form["record"]["revision"] = (records._revision(form) or 0) + 1
        form["updated_at"] = now_text()
        _sign(call, stem, form, spec.get("signer"))
        store.changed(stem)
        return Reply.json(200, store.reply_form(stem, form))


def admin_delete(call):
    stem = call.params["stem"]
    with call.state.lock:
        store = records.store(call.state)
        store.delete(stem, _stored(store, stem, call.params["id"]))
        return Reply.json(200, {"ok": True, "etag": store.etag})


def admin_user(call):
    account_id = int(call.params["id"])
    spec = call.json_body() or {}
    with call.state.lock:
        store = records.store(call.state)
        form = _user_of(store, account_id)
        account = call.state.accounts.find(account_id=account_id)
        if form is None or account is None:
            raise ValueError("no account %d" % account_id)
        if "sproxy" in spec:
            form["record"]["sproxy"] = str(spec["sproxy"])
            form["record"]["revision"] = (records._revision(form) or 0) + 1
            form["signature"] = signing.sign_text(account.key, signing.canonical_json(form["record"]))
        form["updated_at"] = now_text()
        store.changed("user")
        return Reply.json(200, store.reply_form("user", form))


def admin_device(call):
    device_id = int(call.params["id"])
    spec = call.json_body() or {}
    with call.state.lock:
        store = records.store(call.state)
        if device_id not in store.forms["device"]:
            raise ValueError("no device %d" % device_id)
        if spec.get("enabled", True):
            store.disabled_devices.discard(device_id)
        else:
            store.disabled_devices.add(device_id)
        store.changed("device")
        return Reply.json(200, {"ok": True})


_STEM = "(?P<stem>%s)" % "|".join(records.RECORD_STEMS)

ADMIN_ROUTES = [
    Route("POST", r"/sync/records/" + _STEM, admin_add),
    Route("POST", r"/sync/records/" + _STEM + r"/(?P<id>[^/]+)/change", admin_change),
    Route("POST", r"/sync/records/" + _STEM + r"/(?P<id>[^/]+)/delete", admin_delete),
    Route("POST", r"/sync/user/(?P<id>[0-9]+)", admin_user),
    Route("POST", r"/sync/device/(?P<id>[0-9]+)", admin_device),
]
