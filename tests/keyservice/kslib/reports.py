"""The report routes below "/api/v1.0/": usage statistics, application-status reports and audit-log
chunks. Each keeps what it received, in order, so that tests read it back through the admin calls.

  POST extensiblestats   a day's statistics document; answers {}
  PUT aa/appStatus       an application-status report; answers {}
  POST AuditLog          one chunk of audit events; answers {}

Each body is kept as received: "text" (the raw body) and "json" (parsed; null when it does not parse).
A request with an expired access token is refused with 401 as elsewhere.

Admin:
  GET /reports/extensiblestats   the statistics bodies received since the last reset
  GET /reports/appStatus         the status reports received
  GET /reports/AuditLog          the audit-log chunks received"""

import json

from . import accounts
from .routing import Reply, Route

KINDS = ("extensiblestats", "appStatus", "AuditLog")


class ReportState:
    """The bodies received per kind, in order of arrival."""

    def __init__(self):
        self.received = {kind: [] for kind in KINDS}


def _keep(kind):
    def handler(call):
        refusal = accounts.token_refusal(call)
        if refusal is not None:
            return refusal
        text = call.body or ""
        try:
            parsed = json.loads(text)
        except ValueError:
            parsed = None
        with call.state.lock:
            call.state.reports.received[kind].append({"text": text, "json": parsed})
        return Reply.json(200, {})
    return handler


def _admin_list(kind):
    def handler(call):
        with call.state.lock:
            return Reply.json(200, list(call.state.reports.received[kind]))
    return handler


API_ROUTES = [
    Route("POST", r"extensiblestats", _keep("extensiblestats")),
    Route("PUT", r"aa/appStatus", _keep("appStatus")),
    Route("POST", r"AuditLog", _keep("AuditLog")),
]

ADMIN_ROUTES = [Route("GET", r"/reports/" + kind, _admin_list(kind)) for kind in KINDS]
