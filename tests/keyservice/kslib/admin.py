"""The plain-HTTP control endpoint on loopback: resets, fault switches, the request log, the cluster."""

import http.server
import sys
import threading

from . import (account_changes, accounts, directory, keys, lists, login, managed, memos, mfa, migration, recipients,
               records, reports, sharing, signed_values, sitedata, teams)
from .faults import FaultError
from .routing import Call, Reply, Route, Router


def _ok(**extra):
    value = {"ok": True}
    value.update(extra)
    return Reply.json(200, value)


def _bad(message, status=400):
    return Reply.json(status, {"ok": False, "error": message})


def reset(call):
    call.state.reset()
    return _ok()


def add_fault(call):
    fault = call.state.add_fault(call.json_body())
    return _ok(kind=fault.kind)


def request_log(call):
    return Reply.json(200, call.state.request_log())


def set_cluster(call):
    spec = call.json_body() or {}
    if not isinstance(spec, dict):
        raise ValueError("the cluster change is a JSON object")
    ctag = spec.get("ctag")
    if ctag is not None and not isinstance(ctag, str):
        raise ValueError('"ctag" must be a text')
    members = spec.get("members")
    if members is not None and not isinstance(members, list):
        raise ValueError('"members" must be an array')
    call.state.set_cluster(members, ctag)
    return Reply.json(200, call.state.cluster_document())


def get_cluster(call):
    return Reply.json(200, call.state.cluster_document())


ROUTES = [
    Route("POST", r"/reset", reset),
    Route("POST", r"/fault", add_fault),
    Route("GET", r"/log", request_log),
    Route("POST", r"/cluster", set_cluster),
    Route("GET", r"/cluster", get_cluster),
] + records.ADMIN_ROUTES + signed_values.ADMIN_ROUTES + accounts.ADMIN_ROUTES + login.ADMIN_ROUTES \
    + directory.ADMIN_ROUTES + managed.ADMIN_ROUTES + migration.ADMIN_ROUTES + lists.ADMIN_ROUTES \
    + memos.ADMIN_ROUTES + sitedata.ADMIN_ROUTES + mfa.ADMIN_ROUTES + teams.ADMIN_ROUTES + account_changes.ADMIN_ROUTES \
    + keys.ADMIN_ROUTES + reports.ADMIN_ROUTES + sharing.ADMIN_ROUTES \
    + recipients.ADMIN_ROUTES

ROUTER = Router(ROUTES, lambda call: _bad("no such admin call", 404),
                lambda call: _bad("method not allowed", 405))


SATELLITE_PREFIX = "/satellite"


class AdminHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True
    timeout = 30

    def do_GET(self):
        self._serve()

    def do_POST(self):
        self._serve()

    def _serve(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length).decode("utf-8", "replace") if length > 0 else ""
        service = self.server.service
        # "/satellite/..." acts on the independent second service, the rest on the cluster's.
        state, path = service.state, self.path
        if path.startswith(SATELLITE_PREFIX + "/"):
            state, path = service.satellite_state, path[len(SATELLITE_PREFIX):]
        call = Call(state, None, self.command, path, dict(self.headers.items()), body)
        try:
            reply = ROUTER.dispatch(call)
            if path == "/reset" and state is service.state:
                service.satellite_state.reset()
        except (FaultError, ValueError) as e:
            reply = _bad(str(e))
        service.after_admin_call()
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(len(reply.body)))
        self.end_headers()
        self.wfile.write(reply.body)

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        sys.stderr.write("[admin] %s\n" % (format % args))


class AdminServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, service):
        self.service = service
        super().__init__(("127.0.0.1", 0), AdminHandler)
        self.url = "http://127.0.0.1:%d" % self.server_address[1]
        self.thread = threading.Thread(target=self.serve_forever, name="admin", daemon=True)

    def start(self):
        self.thread.start()

    def stop(self):
        self.shutdown()
        self.server_close()
