"""Records the service writes and signs with its own key, and the directory look-up by URN.

Admin calls make them (the service's side of the protocol has no client route that creates them):

  POST /signed/deployment {"name", "platform_type", "upgrade_info", "version"}
      a deployment; the signature covers the compact JSON of "created_at", "name", "platform_type",
      "updated_at", "upgrade_info" and "version" (the stored form without "id" and "signature")
  POST /signed/teamdata {"team_id", "kind", "name", "value", "extra"}
      a team datum, signed by kind: "ClientPolicy" signs its value; a kind beginning with
      "Satellite", and "Contingency" and "MFAPolicy", sign kind + name + team id (decimal) +
      "updated_at" + value, joined without separators; other kinds carry no signature
  POST /signed/record/<stem> {"record": {...}, "outer": {...}}
      a record whose "record" object (revision 1 unless given) the service signs: keys of the kinds
      the service owns ("community", "groupMaster", "TDEKey"), application data of kind "MDS"

Each answers the stored form and counts as a change of the account's etag.

API: GET "xpid?urn=<urn>" answers the directory record with that URN, or 404.
"""

import urllib.parse

from . import records, signing
from .sync_state import now_text
from .routing import Reply, Route

STEM_PATTERN = "(?P<stem>%s)" % "|".join(records.RECORD_STEMS)
DEPLOYMENT_SIGNED = ("created_at", "name", "platform_type", "updated_at", "upgrade_info", "version")


def _now():
    return now_text()


def team_data_signed_text(form):
    """The text the service signs for a team datum of that kind, or None when the kind has none."""
    kind = form.get("kind", "")
    if kind == "ClientPolicy":
        return form.get("value", "")
    if kind.startswith("Satellite") or kind in ("Contingency", "MFAPolicy"):
        return "%s%s%d%s%s" % (kind, form.get("name", ""), form.get("team_id", 0), form.get("updated_at", ""),
                               form.get("value", ""))
    return None


def _store(call, stem, form):
    """Stores a new form under a new id with its times; the caller signs it and answers it."""
    store = records.store(call.state)
    form["id"] = store.new_id(stem, form)
    form["created_at"] = form["updated_at"] = _now()
    store.forms[stem][form["id"]] = form
    store.changed(stem)
    return form


def make_deployment(call):
    spec = call.json_body() or {}
    with call.state.lock:
        form = {name: str(spec.get(name, "")) for name in ("name", "platform_type", "upgrade_info", "version")}
        form = _store(call, "deployment", form)
        form["signature"] = call.state.key.sign(signing.canonical_json({k: form[k] for k in DEPLOYMENT_SIGNED}))
        return Reply.json(200, form)


def make_team_data(call):
    spec = call.json_body() or {}
    with call.state.lock:
        form = {"team_id": int(spec.get("team_id", 0)), "kind": str(spec.get("kind", "")),
                "name": str(spec.get("name", "")), "value": str(spec.get("value", ""))}
        if spec.get("extra"):
            form["extra"] = str(spec["extra"])
        form = _store(call, "teamdata", form)
        text = team_data_signed_text(form)
        if text is not None:
            form["signature"] = call.state.key.sign(text)
        return Reply.json(200, form)


def make_signed_record(call):
    stem = call.params["stem"]
    spec = call.json_body() or {}
    with call.state.lock:
        form = dict(spec.get("outer") or {})
        form["record"] = dict(spec.get("record") or {})
        form["record"].setdefault("revision", 1)
        form = _store(call, stem, form)
        form["signature"] = call.state.key.sign(signing.canonical_json(form["record"]))
        return Reply.json(200, form)


def find_identity(call):
    wanted = (call.query.get("urn") or [""])[0]
    with call.state.lock:
        for form in records.store(call.state).forms["xpid"].values():
            record = form.get("record") if isinstance(form.get("record"), dict) else {}
            if record.get("urn") == wanted:
                return Reply.json(200, form)
    return Reply.json(404, {"Message": "No identity %s" % urllib.parse.quote(wanted)})


API_ROUTES = [
    Route("GET", r"xpid", find_identity),
]

ADMIN_ROUTES = [
    Route("POST", r"/signed/deployment", make_deployment),
    Route("POST", r"/signed/teamdata", make_team_data),
    Route("POST", r"/signed/record/" + STEM_PATTERN, make_signed_record),
]
