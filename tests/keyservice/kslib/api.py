"""The service's REST API below "/api/v1.0/": the route table and its handlers."""

from . import accounts, directory, login, records, signed_values
from .routing import Reply, Route, Router

API_PREFIX = "/api/v1.0/"


def error_reply(status, message, reason=None):
    """An error reply body as the clients read it: "Message" and, when there is one, "reason"."""
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


def cluster_info(call):
    return Reply.json(200, call.state.cluster_document())


def etag(call):
    refusal = accounts.token_refusal(call)
    if refusal is not None:
        return refusal
    account = int(call.params["id"])
    if account != 0:
        return error_reply(404, "No account with id %d" % account)
    document = {"etag": 0, "id": 0}
    document.update(call.state.tags())
    return Reply.json(200, document)


def site_data(call):
    return Reply(200, call.state.site_data_text())


def not_found(call):
    return error_reply(404, "No such resource: %s %s" % (call.method, call.route_path))


def method_not_allowed(call):
    return error_reply(405, "Method %s is not allowed on %s" % (call.method, call.route_path))


ROUTES = [
    Route("GET", r"clusterInfo", cluster_info),
    Route("GET", r"etag/(?P<id>[0-9]+)/?", etag),
    Route("GET", r"ua/siteData", site_data),
] + accounts.API_ROUTES + login.API_ROUTES + directory.API_ROUTES + records.API_ROUTES \
    + signed_values.API_ROUTES

ROUTER = Router(ROUTES, not_found, method_not_allowed)


def api_path(raw_path):
    """The API path of a request target (what follows "/api/v1.0/"), or None outside the API."""
    if raw_path.startswith(API_PREFIX):
        return raw_path[len(API_PREFIX):]
    return None


def handle(call):
    """The reply of a request inside the API (the call's path is the API path)."""
    return ROUTER.dispatch(call)
