"""The generic record routes: each stem of RECORD_STEMS is a collection below "/api/v1.0/" that
clients create (POST, answered 201), read (GET of one record, or of the list with an optional
"?name=value" filter), update (PUT, refused with 409 "Revision" unless the "record" object's revision
is newer than the stored one) and delete (DELETE). Every change except to a "sid" record raises the
account's etag, as the client counts its own changes. Records that the service makes itself (the
admin calls below) are signed here with identity keys the service keeps."""

import itertools
import urllib.parse

from cryptography.hazmat.primitives.asymmetric import rsa

from . import signing
from .sync_state import now_text
from .routing import Reply, Route

RECORD_STEMS = ("pid", "sid", "user", "device",
                "deployment", "app", "xpid", "cajoin", "appdata", "teamdata",
                "asset", "assetright", "assetkey", "assetrequest", "assetfeature",
                "contingencygroup", "contingencykey", "contingencymasterkey",
                "upload", "mfapair", "signaturerequest", "chatmessage")
_STEM_PATTERN = "(?P<stem>%s)" % "|".join(RECORD_STEMS)


def _now():
    return now_text()


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _revision(form):
    record = form.get("record")
    value = record.get("revision") if isinstance(record, dict) else None
    return value if isinstance(value, int) and not isinstance(value, bool) else None


class RecordStore:
    """The stored server forms by stem and id, the account's etag and the keys of the records the
    service signed itself. Callers hold the service state's lock."""

    def __init__(self):
        self.forms = {stem: {} for stem in RECORD_STEMS}
        self.identity_keys = {}
        self.etag = 0
        self._numbers = itertools.count(1)
        self.disabled_devices = set()   # device ids the service disabled
        self.on_delete = None           # called with (stem, id) after a record was deleted

    def changed(self, stem):
        if stem != "sid":
            self.etag += 1

    def new_id(self, stem, form):
        if stem == "sid":
            record = form.get("record") if isinstance(form.get("record"), dict) else {}
            return str(form.get("id") or record.get("shash") or "sid-%d" % next(self._numbers))
        return next(self._numbers)

    def reply_form(self, stem, form):
        """A stored form as the service sends it: with the members the service itself reports."""
        reply = dict(form)
        if stem == "user":
            reply["etag"] = self.etag
            reply["allow_access"] = True
        if stem == "device":
            reply["allow_access"] = form.get("id") not in self.disabled_devices
        return reply

    def delete(self, stem, stored_id):
        """Removes a stored record (the change raises the etag) and tells the deletion hook."""
        del self.forms[stem][stored_id]
        self.identity_keys.pop((stem, stored_id), None)
        self.changed(stem)
        if self.on_delete is not None:
            self.on_delete(stem, stored_id)

    def sign(self, stem, key, form):
        record = form["record"]
        if stem == "pid":
            record.setdefault("pubkey", signing.public_key_text(key.public_key()))
        form["signature"] = signing.sign_text(key, signing.canonical_json(record))


def store(state):
    """The record store of a service state (a reset of the state starts a fresh one)."""
    return state.records


def _key_of(call):
    return urllib.parse.unquote(call.params["id"])


def _find(records, given):
    """The stored id for an id text of a path (numeric ids arrive as decimal text)."""
    for stored_id in records:
        if str(stored_id) == given:
            return stored_id
    return None


def list_records(call):
    stem = call.params["stem"]
    with call.state.lock:
        records = store(call.state)
        found = []
        for form in records.forms[stem].values():
            record = form.get("record") if isinstance(form.get("record"), dict) else {}
            if all(str(form.get(name, record.get(name))) == values[0] for name, values in call.query.items()):
                found.append(records.reply_form(stem, form))
    return Reply.json(200, found)


def get_record(call):
    stem = call.params["stem"]
    with call.state.lock:
        records = store(call.state)
        stored_id = _find(records.forms[stem], _key_of(call))
        if stored_id is None:
            return _error(404, "No %s %s" % (stem, _key_of(call)))
        return Reply.json(200, records.reply_form(stem, records.forms[stem][stored_id]))


def create_record(call):
    stem = call.params["stem"]
    form = call.json_body()
    if not isinstance(form, dict):
        return _error(400, "A record is a JSON object")
    with call.state.lock:
        records = store(call.state)
        form = dict(form)
        form["id"] = records.new_id(stem, form)
        form["created_at"] = form["updated_at"] = _now()
        records.forms[stem][form["id"]] = form
        records.changed(stem)
        return Reply.json(201, records.reply_form(stem, form))


def update_record(call, form=None):
    stem = call.params["stem"]
    if form is None:
        form = call.json_body()
    if not isinstance(form, dict):
        return _error(400, "A record is a JSON object")
    with call.state.lock:
        records = store(call.state)
        stored_id = _find(records.forms[stem], _key_of(call))
        if stored_id is None:
            return _error(404, "No %s %s" % (stem, _key_of(call)))
        stored = records.forms[stem][stored_id]
        new, old = _revision(form), _revision(stored)
        if new is not None and old is not None and new <= old:
            return _error(409, "Revision %d is not newer than %d" % (new, old), "Revision")
        form = dict(form)
        form["id"] = stored_id
        form["created_at"] = stored.get("created_at", _now())
        form["updated_at"] = _now()
        records.forms[stem][stored_id] = form
        records.changed(stem)
        return Reply.json(200, records.reply_form(stem, form))


def delete_record(call):
    stem = call.params["stem"]
    with call.state.lock:
        records = store(call.state)
        stored_id = _find(records.forms[stem], _key_of(call))
        if stored_id is None:
            return _error(404, "No %s %s" % (stem, _key_of(call)))
        records.delete(stem, stored_id)
        return Reply.json(200, {})


API_ROUTES = [
    Route("GET", _STEM_PATTERN + "/", list_records),
    Route("POST", _STEM_PATTERN + "/", create_record),
    Route("GET", _STEM_PATTERN + "/(?P<id>[^/]+)/?", get_record),
    Route("PUT", _STEM_PATTERN + "/(?P<id>[^/]+)/?", update_record),
    Route("DELETE", _STEM_PATTERN + "/(?P<id>[^/]+)/?", delete_record),
]


# --- admin calls ------------------------------------------------------------------------------------


def admin_records(call):
    """GET /records: the account's etag and the stored records by stem."""
    with call.state.lock:
        records = store(call.state)
        return Reply.json(200, {"etag": records.etag,
                                "records": {stem: list(forms.values()) for stem, forms in records.forms.items()}})


def admin_make_record(call):
    """POST /records/<stem> {"record": {...}, "outer": {...}}: a record made and signed by the service
    with a new identity key of its own (a "pid" gets that key as its "pubkey"); answers the stored form."""
    stem = call.params["stem"]
    spec = call.json_body() or {}
    form = dict(spec.get("outer") or {})
    form["record"] = dict(spec.get("record") or {})
    form["record"].setdefault("revision", 1)
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    with call.state.lock:
        records = store(call.state)
        form["id"] = records.new_id(stem, form)
        form["created_at"] = form["updated_at"] = _now()
        records.sign(stem, key, form)
        records.forms[stem][form["id"]] = form
        records.identity_keys[(stem, form["id"])] = key
        records.changed(stem)
        return Reply.json(200, records.reply_form(stem, form))


def admin_revise_record(call):
    """POST /records/<stem>/<id>/revise {"record": {changes}}: a change made elsewhere: the stored
    record takes the changes and the next revision and is signed again with the service's key for it."""
    stem = call.params["stem"]
    changes = (call.json_body() or {}).get("record") or {}
    with call.state.lock:
        records = store(call.state)
        stored_id = _find(records.forms[stem], urllib.parse.unquote(call.params["id"]))
        key = records.identity_keys.get((stem, stored_id))
        if stored_id is None or key is None:
            return Reply.json(404, {"ok": False, "error": "no record the service signed"})
        form = records.forms[stem][stored_id]
        form["record"].update(changes)
        form["record"]["revision"] = (_revision(form) or 0) + 1
        form["updated_at"] = _now()
        records.sign(stem, key, form)
        records.changed(stem)
        return Reply.json(200, records.reply_form(stem, form))


ADMIN_ROUTES = [
    Route("GET", r"/records", admin_records),
    Route("POST", r"/records/" + _STEM_PATTERN, admin_make_record),
    Route("POST", r"/records/" + _STEM_PATTERN + r"/(?P<id>[^/]+)/revise", admin_revise_record),
]
