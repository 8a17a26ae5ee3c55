"""What the synchronization routes keep besides the records: the data memos, the locker configuration
and the TDE compliance reports. One object per reset of the service
state (ServiceState.sync), read and changed under the state's lock.

Change times are UTC texts with microseconds ("2024-01-31T12:00:00.123456Z"), so that texts compare in
time order; a record's "updated_at" and the user's "now" are such texts, and a list route with
"since" answers the records whose "updated_at" is not before it."""

import datetime
import threading

_clock_lock = threading.Lock()
_last = [None]


def now_text():
    """The current UTC time as a change-time text; strictly later than the text returned before it."""
    with _clock_lock:
        now = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
        if _last[0] is not None and now <= _last[0]:
            now = _last[0] + datetime.timedelta(microseconds=1)
        _last[0] = now
        return now.strftime("%Y-%m-%dT%H:%M:%S.%fZ")


# The entity kinds of the data memos, by record stem ("identity" for directory records).
ENTITY_KINDS = {"xpid": "identity", "asset": "asset", "assetfeature": "assetfeature",
                "assetrequest": "assetrequest", "assetright": "assetright", "assetkey": "assetkey",
                "appdata": "appdata"}


class SyncState:
    def __init__(self):
        self.memos = []                 # in id order
        self.next_memo = 1
        self.locker = {}                # platform text -> configuration (a JSON object)
        self.ltag = 0
        self.tde_reports = []           # bodies of "aa/tdeCompliance"

    def add_memo(self, memo_kind, entity_kind, entity_id):
        memo = {"id": self.next_memo, "memo_kind": memo_kind, "entity_kind": entity_kind,
                "entity_id": entity_id, "recipient_kind": "user", "recipientid": 0, "updated_at": now_text()}
        self.next_memo += 1
        self.memos.append(memo)
        return memo

    def record_deleted(self, stem, record_id):
        """A deletion becomes a "delete" memo when its stem has an entity kind."""
        kind = ENTITY_KINDS.get(stem)
        if kind is not None and isinstance(record_id, int):
            self.add_memo("delete", kind, record_id)
