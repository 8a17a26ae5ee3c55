"""Directory searches by address and the recipient-key look-up.

API (below "/api/v1.0/"):

  GET xpid/?emails=<a>,<b>,...      the directory records whose "email" is one of the addresses (any
                                    letter case), in stored order; without "emails" the generic list
  POST aa/LookupEmailRecipientKeys {"emails": [...]}
                                    {"results": [{"email": <address as asked>, "xpids": [directory
                                    records of that address] or null}, one per address], "signature":
                                    the service's signature over the compact reply without "signature"}

Admin call:

  POST /recipients {"badSignature"?: bool, "extra"?: [result objects]}
      the next replies carry a signature that does not verify, and/or end with the extra result objects
      as given (an address nobody asked for, an identity whose signature does not verify, ...); both
      kept until changed or reset
"""

from . import records, signing
from .routing import Reply, Route


class RecipientState:
    """The reply switches of the recipient-key look-up. Callers hold the state lock."""

    def __init__(self):
        self.bad_signature = False
        self.extra = []


def _identities(state, address):
    """The stored directory records of the address (any letter case)."""
    found = []
    for form in records.store(state).forms["xpid"].values():
        record = form.get("record") if isinstance(form.get("record"), dict) else {}
        if str(record.get("email", "")).lower() == address.lower():
            found.append(form)
    return found


def search_by_emails(call):
    if "emails" not in call.query:
        return records.list_records(call)
    addresses = [a for a in call.query["emails"][0].split(",") if a]
    with call.state.lock:
        found = []
        for form in records.store(call.state).forms["xpid"].values():
            record = form.get("record") if isinstance(form.get("record"), dict) else {}
            if str(record.get("email", "")).lower() in {a.lower() for a in addresses}:
                found.append(form)
    return Reply.json(200, found)


def lookup_recipient_keys(call):
    try:
        body = call.json_body()
    except ValueError:
        body = None
    emails = body.get("emails") if isinstance(body, dict) else None
    if not isinstance(emails, list) or not all(isinstance(e, str) for e in emails):
        return Reply.json(400, {"Message": '"emails" must be an array of texts'})
    with call.state.lock:
        results = []
        for address in emails:
            identities = _identities(call.state, address)
            results.append({"email": address, "xpids": identities or None})
        results.extend(call.state.recipients.extra)
        reply = {"results": results}
        signature = call.state.key.sign(signing.canonical_json(reply))
        if call.state.recipients.bad_signature:
            signature = call.state.key.sign(signing.canonical_json({"results": []}))
    reply["signature"] = signature
    return Reply.json(200, reply)


API_ROUTES = [
    Route("GET", r"(?P<stem>xpid)/", search_by_emails),
    Route("POST", r"aa/LookupEmailRecipientKeys", lookup_recipient_keys),
]


def admin_recipients(call):
    spec = call.json_body() or {}
    extra = spec.get("extra", [])
    if not isinstance(extra, list):
        raise ValueError('"extra" must be an array')
    with call.state.lock:
        call.state.recipients.bad_signature = bool(spec.get("badSignature", False))
        call.state.recipients.extra = extra
    return Reply.json(200, {"ok": True})


ADMIN_ROUTES = [
    Route("POST", r"/recipients", admin_recipients),
]
