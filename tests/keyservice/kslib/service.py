"""The running service: the HTTPS instances of the cluster, the untrusted instance, the admin
endpoint, and the request pipeline (log, faults, then the API routes)."""

import json
import os
import threading
import time
import traceback

from . import api, pki, signing
from .admin import AdminServer
from .routing import Call, Reply
from .state import ServiceState
from .transport import Instance

UNTRUSTED = -1
# The second, independent service: its own instance, key and state (accounts, records, faults, log).
SATELLITE = -2


class Service:
    def __init__(self, directory, server_count):
        self.directory = os.path.abspath(directory)
        self.files = pki.make_certificates(self.directory)
        self.key = signing.ServiceKey()
        self.instances = [Instance(i, "server%d" % i, self.files["server_cert"],
                                   self.files["server_key"], self) for i in range(server_count)]
        self.untrusted = Instance(UNTRUSTED, "untrusted", self.files["untrusted_cert"],
                                  self.files["untrusted_key"], self)
        self.state = ServiceState(self.key, [i.url for i in self.instances], self.untrusted.url)
        self.satellite_key = signing.ServiceKey()
        self.satellite = Instance(SATELLITE, "satellite", self.files["server_cert"], self.files["server_key"], self)
        self.satellite_state = ServiceState(self.satellite_key, [self.satellite.url], None)
        self.admin = AdminServer(self)
        self.last_activity = time.monotonic()

    # --- life cycle --------------------------------------------------------------------------

    def start(self):
        for instance in self.instances + [self.untrusted, self.satellite]:
            instance.start()
        self.admin.start()

    def stop(self):
        self.admin.stop()
        for instance in self.instances + [self.untrusted, self.satellite]:
            instance.stop()

    def description(self):
        return {
            "ca_file": self.files["ca"],
            "servers": [i.url for i in self.instances],
            "untrusted": self.untrusted.url,
            "admin": self.admin.url,
            "service_public_key": self.key.public_text,
            "satellite": {"url": self.satellite.url, "service_public_key": self.satellite_key.public_text},
            "pid": os.getpid(),
        }

    def write_description(self, path):
        tmp = path + ".tmp"
        with open(tmp, "w") as f:
            json.dump(self.description(), f, indent=2)
            f.write("\n")
        os.replace(tmp, path)

    # --- requests ----------------------------------------------------------------------------

    def after_admin_call(self):
        self.last_activity = time.monotonic()
        for instance in self.instances:
            instance.set_refusing(self.state.refuses_connections(instance.index))
        self.satellite.set_refusing(self.satellite_state.refuses_connections(0))

    def serve_api(self, server, method, raw_path, headers, body_bytes, connection=None):
        """The reply to one request, or None to close the connection without one. `connection` is
        the transport's `Connection` the request came on."""
        self.last_activity = time.monotonic()
        body = body_bytes.decode("utf-8", "replace")
        state = self.state
        if server == SATELLITE:
            # The satellite is server 0 of its own service.
            state, server = self.satellite_state, 0
        entry = state.log_request(server, method, raw_path, headers, body, connection)
        path = api.api_path(raw_path)
        has_token = any(k.lower() == "authorization" and v for k, v in headers.items())
        terminal, modifiers = (None, []) if server == UNTRUSTED else state.take_faults(
            server, path if path is not None else raw_path, has_token)
        delay = sum(m.seconds for m in modifiers if m.kind == "slow")
        if delay > 0:
            time.sleep(delay)
        if terminal is not None:
            forced = terminal.reply()
            if forced is None:
                return None
            reply = Reply.text(*forced)
        else:
            reply = self._route(state, server, method, raw_path, path, headers, body)
        reply.headers.extend((m.name, m.value) for m in modifiers if m.kind == "header")
        state.set_logged_status(entry, reply.status)
        return reply

    def _route(self, state, server, method, raw_path, path, headers, body):
        call = Call(state, server, method, path if path is not None else raw_path, headers, body)
        try:
            if path is None:
                return api.not_found(call)
            return api.handle(call)
        except Exception as e:  # a bug in a handler: answer it visibly instead of hanging up
            traceback.print_exc()
            return api.error_reply(500, "Internal error of the test key service: %s" % e)

    # --- running in the foreground -----------------------------------------------------------

    def run_until(self, stop_event, idle_limit):
        while not stop_event.wait(1.0):
            if idle_limit and time.monotonic() - self.last_activity > idle_limit:
                print("keyservice: idle for %d s, stopping" % idle_limit, flush=True)
                break


def serve(directory, server_count, idle_limit, stop_event: threading.Event):
    os.makedirs(directory, exist_ok=True)
    service = Service(directory, server_count)
    service.start()
    description = os.path.join(service.directory, "service.json")
    service.write_description(description)
    print("keyservice: serving %s" % json.dumps(service.description()), flush=True)
    try:
        service.run_until(stop_event, idle_limit)
    finally:
        try:
            with open(description) as f:
                if json.load(f).get("pid") == os.getpid():
                    os.remove(description)
        except (OSError, ValueError):
            pass
        service.stop()
