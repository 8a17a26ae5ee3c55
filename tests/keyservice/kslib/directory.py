"""Where an address is served and who it is: the authorized-server look-up of a domain or address
("ua/getAuthorizedServer?domain=": the server's "url", "pubkey" and "authorization", or 404 for a
domain this instance knows no server for) and the look-up of an address ("aa/userOrServer?email=":
the directory record of the account with that address, in any letter case, as {"user": ...}; for an
address of a domain with a server of its own {"server": {"pubkey", "authorization"}}; else {}).

Admin calls: POST /domains {"domain", "url", "pubkey", "authorization"?} names the server of a
domain (or of one whole address); {"domain", "reply": {...}} makes the look-up answer that reply as it
is. POST /domains/forget {"domain"} forgets it.
"""

from . import signing
from .login import find_account
from .routing import Reply, Route


class DirectoryState:
    """The authorized servers by domain (or address), lower case. Callers hold the state lock."""

    def __init__(self):
        self.servers = {}


def _error(status, message, reason=None):
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def _domain_of(value):
    value = (value or "").lower()
    return value.partition("@")[2] if "@" in value else value


def _server_for(state, value):
    servers = state.directory.servers
    value = (value or "").lower()
    return servers.get(value) or servers.get(_domain_of(value))


def identity_form(account):
    """The account's directory record, signed with its own key."""
    record = {"urn": account.urn, "name": account.email, "email": account.email,
              "pubkey": account.public_text(), "revision": 1}
    return {"record": record, "id": account.id,
            "signature": signing.sign_text(account.key, signing.canonical_json(record))}


def authorized_server(call):
    value = (call.query.get("domain") or [""])[0]
    with call.state.lock:
        reply = _server_for(call.state, value)
        if reply is None:
            return _error(404, "No authorized server for %s" % value, "Domain Not Found")
        return Reply.json(200, reply)


def user_or_server(call):
    email = (call.query.get("email") or [""])[0]
    with call.state.lock:
        account = find_account(call.state, email)
        if account is not None:
            return Reply.json(200, {"user": identity_form(account)})
        server = _server_for(call.state, email)
        if server is not None and "pubkey" in server:
            return Reply.json(200, {"server": {"pubkey": server["pubkey"],
                                               "authorization": server.get("authorization", {})}})
        return Reply.json(200, {})


API_ROUTES = [
    Route("GET", r"ua/getAuthorizedServer", authorized_server),
    Route("GET", r"aa/userOrServer", user_or_server),
]


def admin_domain(call):
    spec = call.json_body() or {}
    domain = spec.get("domain")
    if not isinstance(domain, str) or not domain:
        raise ValueError('"domain" is required')
    if "reply" in spec:
        reply = spec["reply"]
    else:
        if not isinstance(spec.get("url"), str) or not isinstance(spec.get("pubkey"), str):
            raise ValueError('"url" and "pubkey" are required')
        reply = {"url": spec["url"], "pubkey": spec["pubkey"],
                 "authorization": spec.get("authorization", {"domain": domain})}
    with call.state.lock:
        call.state.directory.servers[domain.lower()] = reply
    return Reply.json(200, {"ok": True})


def admin_forget_domain(call):
    spec = call.json_body() or {}
    with call.state.lock:
        call.state.directory.servers.pop(str(spec.get("domain", "")).lower(), None)
    return Reply.json(200, {"ok": True})


ADMIN_ROUTES = [
    Route("POST", r"/domains", admin_domain),
    Route("POST", r"/domains/forget", admin_forget_domain),
]
