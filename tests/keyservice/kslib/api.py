"""The service's REST API below "/api/v1.0/": the route table and its handlers."""

from . import (account_changes, accounts, directory, keys, lists, login, managed, memos, mfa, migration, recipients,
               records, reports, sharing, signed_values, sitedata, teams)
from .routing import Reply, Route, Router, error_reply

API_PREFIX = "/api/v1.0/"


def cluster_info(call):
    return Reply.json(200, call.state.cluster_document())


def etag(call):
    refusal = accounts.token_refusal(call)
    if refusal is not None:
        return refusal
    account = int(call.params["id"])
    if account != 0:
        return lists.account_etag(call, account)
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
] + account_changes.API_ROUTES + keys.API_ROUTES + sharing.API_ROUTES + teams.API_ROUTES + lists.API_ROUTES + memos.API_ROUTES + sitedata.API_ROUTES \
    + accounts.API_ROUTES + login.API_ROUTES + managed.API_ROUTES + migration.API_ROUTES \
    + directory.API_ROUTES + recipients.API_ROUTES + mfa.API_ROUTES + records.API_ROUTES \
    + signed_values.API_ROUTES + reports.API_ROUTES

ROUTER = Router(ROUTES, not_found, method_not_allowed)


def api_path(raw_path):
    """The API path of a request target (what follows "/api/v1.0/"), or None outside the API."""
    if raw_path.startswith(API_PREFIX):
        return raw_path[len(API_PREFIX):]
    return None


def handle(call):
    """The reply of a request inside the API (the call's path is the API path): a request that must
    answer for MFA first is refused until it does."""
    refusal, headers = mfa.gate(call)
    if refusal is not None:
        return refusal
    reply = ROUTER.dispatch(call)
    reply.headers.extend(headers)
    return reply
