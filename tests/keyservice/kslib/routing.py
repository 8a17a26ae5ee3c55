"""Table-driven routing shared by the service API and the admin endpoint."""

import json
import re
import urllib.parse

JSON_TYPE = "application/json"


class Reply:
    """A reply to write: status, body bytes, content type and extra headers."""

    def __init__(self, status, body=b"", content_type=JSON_TYPE, headers=None):
        self.status = status
        self.body = body.encode("utf-8") if isinstance(body, str) else body
        self.content_type = content_type
        self.headers = list(headers or [])

    @classmethod
    def json(cls, status, value):
        return cls(status, json.dumps(value, separators=(",", ":"), sort_keys=True))

    @classmethod
    def text(cls, status, text):
        """Raw text, marked as JSON only when it parses as JSON."""
        try:
            json.loads(text)
            content_type = JSON_TYPE
        except ValueError:
            content_type = "text/plain" if text else JSON_TYPE
        return cls(status, text, content_type)


def error_reply(status, message, reason=None):
    """An error reply body as the clients read it: "Message" and, when there is one, "reason"."""
    body = {"Message": message}
    if reason is not None:
        body["reason"] = reason
    return Reply.json(status, body)


class Call:
    """One request as the handlers see it."""

    def __init__(self, state, server, method, path, headers, body):
        self.state = state
        self.server = server
        self.method = method
        self.path = path                      # what follows the route prefix, query included
        route_path, _, self.query_text = path.partition("?")
        self.route_path = route_path
        self.query = urllib.parse.parse_qs(self.query_text, keep_blank_values=True)
        self.headers = headers
        self.body = body
        self.params = {}

    def json_body(self):
        return json.loads(self.body) if self.body else None


class Route:
    def __init__(self, method, pattern, handler):
        self.method = method
        self.pattern = re.compile(pattern)
        self.handler = handler


class Router:
    """Finds the handler of (method, path) by full match of the path (without query)."""

    def __init__(self, routes, not_found, method_not_allowed):
        self.routes = list(routes)
        self.not_found = not_found
        self.method_not_allowed = method_not_allowed

    def dispatch(self, call):
        path_known = False
        for route in self.routes:
            match = route.pattern.fullmatch(call.route_path)
            if not match:
                continue
            path_known = True
            if route.method == call.method:
                call.params = match.groupdict()
                return route.handler(call)
        return self.method_not_allowed(call) if path_known else self.not_found(call)
