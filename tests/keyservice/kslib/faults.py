"""Fault switches set through the admin endpoint: what they match and the reply each one forces."""

import json

# Kinds that decide the whole reply; at most one applies to a request (the first one set).
TERMINAL_KINDS = ("down", "status", "send_to_master", "inactive_endpoint", "token_expired",
                  "blank", "malformed")
# Kinds that change a reply and combine with anything else.
MODIFIER_KINDS = ("slow", "header")

MALFORMED_BODY = "<html><body>Internal failure</body></html>"


def _json(value):
    return json.dumps(value, separators=(",", ":"), sort_keys=True)


class FaultError(ValueError):
    """A fault description the admin endpoint refuses."""


def _int(spec, name, default=None, low=None, high=None):
    value = spec.get(name, default)
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, int):
        raise FaultError('"%s" must be an integer' % name)
    if (low is not None and value < low) or (high is not None and value > high):
        raise FaultError('"%s" out of range: %d' % (name, value))
    return value


def _text(spec, name, default=None):
    value = spec.get(name, default)
    if value is not None and not isinstance(value, str):
        raise FaultError('"%s" must be a text' % name)
    return value


class Fault:
    def __init__(self, spec, server_count):
        if not isinstance(spec, dict):
            raise FaultError("a fault is a JSON object")
        self.kind = spec.get("kind")
        if self.kind not in TERMINAL_KINDS + MODIFIER_KINDS:
            raise FaultError("unknown fault kind: %r" % (self.kind,))
        self.server = _int(spec, "server", None, 0, server_count - 1)
        self.count = _int(spec, "count", None, 1)
        self.after = _int(spec, "after", 0, 0)
        self.path = _text(spec, "path")
        self.spec = dict(spec)
        if self.kind == "status":
            self.status = _int(spec, "status", None, 100, 599)
            if self.status is None:
                raise FaultError('"status" is required')
            self.body = _text(spec, "body", "")
        elif self.kind == "token_expired":
            self.status = _int(spec, "status", 401)
            if self.status not in (401, 498):
                raise FaultError('"status" must be 401 or 498')
        elif self.kind == "inactive_endpoint":
            self.status = _int(spec, "status", 400, 100, 599)
        elif self.kind == "slow":
            seconds = spec.get("seconds")
            if isinstance(seconds, bool) or not isinstance(seconds, (int, float)) or seconds < 0:
                raise FaultError('"seconds" must be a number of at least 0')
            self.seconds = float(seconds)
        elif self.kind == "header":
            self.name = _text(spec, "name")
            self.value = _text(spec, "value")
            if not self.name or self.value is None:
                raise FaultError('"name" and "value" are required')

    @property
    def terminal(self):
        return self.kind in TERMINAL_KINDS

    def used_up(self):
        return self.count is not None and self.count <= 0

    def matches(self, server, api_path, has_token):
        if self.used_up():
            return False
        if self.server is not None and self.server != server:
            return False
        if self.path is not None and not api_path.startswith(self.path):
            return False
        if self.kind == "token_expired" and not has_token:
            return False
        return True

    def take(self):
        if self.count is not None:
            self.count -= 1

    def refuses_connections(self, server):
        """A "down" fault for every request of the instance closes its listener instead."""
        return (self.kind == "down" and self.count is None and self.path is None
                and self.server in (None, server))

    def reply(self):
        """(status, body text) of a terminal fault; None for "down" (close without a reply)."""
        if self.kind == "down":
            return None
        if self.kind == "status":
            return self.status, self.body
        if self.kind == "send_to_master":
            return 501, _json({"Message": "This request must be sent to the master server",
                                "reason": "Send To Master"})
        if self.kind == "inactive_endpoint":
            return self.status, _json({"Message": "This endpoint is inactive",
                                        "reason": "InactiveEndpoint"})
        if self.kind == "token_expired":
            return self.status, _json({"Message": "Access token has expired"})
        if self.kind == "blank":
            return 200, ""
        return 200, MALFORMED_BODY


class FaultTable:
    """The faults in the order they were set. Not locked: the service state guards it."""

    def __init__(self, server_count):
        self.server_count = server_count
        self.faults = []

    def add(self, spec):
        fault = Fault(spec, self.server_count)
        self.faults.append(fault)
        return fault

    def clear(self):
        self.faults = []

    def take_matching(self, server, api_path, has_token):
        """The terminal fault (or None) and the modifiers that apply to one request; counts them."""
        terminal = None
        modifiers = []
        for fault in self.faults:
            if not fault.matches(server, api_path, has_token):
                continue
            if fault.after > 0:
                fault.after -= 1
                continue
            if fault.terminal:
                if terminal is None:
                    terminal = fault
                    fault.take()
            else:
                modifiers.append(fault)
                fault.take()
        return terminal, modifiers

    def refuses_connections(self, server):
        return any(f.refuses_connections(server) for f in self.faults)
