"""The site document's and locker configuration's admin calls, and the small synchronization routes
of the "aa/" and "ua/" families (below "/api/v1.0/"):

  GET aa/archiveLockerConfig?platform=<p>   the configuration set for that platform ("{}" for none)
  POST aa/tdeCompliance {"etag": n}         kept (GET /sync/tde lists the bodies); answers {}

Admin:
  POST /sync/sitedata {"changes": {...}, "badSignature": bool}
      the site document takes the changes (its "gtag" one more unless given) and is signed again; with
      "badSignature" the signature no longer verifies
  POST /sync/locker {"platform": p, "config": {...}, "ltag": n}
      the configuration of a platform and the locker tag the etag document reports
  GET /sync/tde                              the TDE compliance bodies received"""

import json

from . import signing
from .routing import Reply, Route


def locker_config(call):
    platform = (call.query.get("platform") or [""])[0]
    with call.state.lock:
        config = call.state.sync.locker.get(platform)
    return Reply.json(200, config if config is not None else {})


def tde_compliance(call):
    body = call.json_body()
    with call.state.lock:
        call.state.sync.tde_reports.append(body)
    return Reply.json(200, {})


def admin_site_data(call):
    spec = call.json_body() or {}
    with call.state.lock:
        document = dict(call.state.site_data)
        document["gtag"] = document["gtag"] + 1
        document.update(spec.get("changes") or {})
        call.state.site_data = document
        signed = call.state.key.sign_document(document)
        if spec.get("badSignature"):
            other = dict(document)
            other["pollingInterval"] = document.get("pollingInterval", 0) + 1
            signed["signature"] = call.state.key.sign(signing.canonical_json(other))
        call.state.site_data_body = signing.canonical_json(signed)
        return Reply.json(200, json.loads(call.state.site_data_body))


def admin_locker(call):
    spec = call.json_body() or {}
    with call.state.lock:
        sync = call.state.sync
        if "config" in spec:
            sync.locker[str(spec.get("platform", ""))] = spec["config"]
        if "ltag" in spec:
            sync.ltag = int(spec["ltag"])
        return Reply.json(200, {"ok": True, "ltag": sync.ltag})


def admin_tde(call):
    with call.state.lock:
        return Reply.json(200, list(call.state.sync.tde_reports))


API_ROUTES = [
    Route("GET", r"aa/archiveLockerConfig", locker_config),
    Route("POST", r"aa/tdeCompliance", tde_compliance),
]

ADMIN_ROUTES = [
    Route("POST", r"/sync/sitedata", admin_site_data),
    Route("POST", r"/sync/locker", admin_locker),
    Route("GET", r"/sync/tde", admin_tde),
]
