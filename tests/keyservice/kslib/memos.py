"""The data memos (below "/api/v1.0/"): GET datamemo?max=<n>&start=<k>[&since=<t>] answers, in id
order, at most n memos whose id is at least k and (with since) whose "updated_at" is not before t.
Deletions of records produce "delete" memos (sync_state.py). Admin: POST /sync/memo {"memo_kind",
"entity_kind", "entity_id"} adds a memo of any kind (a change of the account's data: the etag rises)."""

from . import records
from .routing import Reply, Route


def _int_query(call, name, default):
    values = call.query.get(name)
    try:
        return int(values[0]) if values else default
    except ValueError:
        return None


def data_memos(call):
    size = _int_query(call, "max", 400)
    start = _int_query(call, "start", 1)
    if size is None or start is None:
        return Reply.json(400, {"Message": "max and start are numbers"})
    since = (call.query.get("since") or [None])[0]
    with call.state.lock:
        found = [dict(m) for m in call.state.sync.memos
                 if m["id"] >= start and (since is None or m["updated_at"] >= since)]
    return Reply.json(200, found[:max(size, 0)])


def admin_memo(call):
    spec = call.json_body() or {}
    with call.state.lock:
        memo = call.state.sync.add_memo(str(spec.get("memo_kind", "delete")), str(spec.get("entity_kind", "")),
                                        int(spec.get("entity_id", 0)))
        records.store(call.state).changed("memo")
        return Reply.json(200, memo)


API_ROUTES = [
    Route("GET", r"datamemo", data_memos),
]

ADMIN_ROUTES = [
    Route("POST", r"/sync/memo", admin_memo),
]
