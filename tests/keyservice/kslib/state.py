"""All mutable state of the service in one place, under one lock: the cluster document, the site
data, the fault switches and the request log. Handlers read and change it only through this object."""

import copy
import datetime
import itertools
import threading

from . import signing
from .faults import FaultTable
from .account_changes import RecoveryState
from .accounts import AccountStore
from .directory import DirectoryState
from .login import LoginState
from .managed import ManagedState
from .migration import MigrationState
from .mfa import MfaState
from .records import RecordStore
from .recipients import RecipientState
from .reports import ReportState
from .sync_state import SyncState
from .teams import TeamState

DEFAULT_DATA_CENTER = "dc1"
DEFAULT_POLLING_INTERVAL = 60
# The request log keeps the newest entries only, so that long runs (benchmarks) stay bounded.
LOG_LIMIT = 20000


class ServiceState:
    def __init__(self, key: signing.ServiceKey, server_urls, untrusted_url):
        self.lock = threading.RLock()
        self.key = key
        self.server_urls = list(server_urls)
        self.untrusted_url = untrusted_url
        self.faults = FaultTable(len(self.server_urls))
        self.started_at = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
        self._ctag_numbers = itertools.count(2)
        self.requests = []
        self.reset()

    # --- reset -------------------------------------------------------------------------------

    def reset(self):
        """Back to the start: no faults, an empty request log, the start cluster and site data."""
        with self.lock:
            self.faults.clear()
            self.requests = []
            self.records = RecordStore()
            self.sync = SyncState()
            self.records.on_delete = self.sync.record_deleted
            self.accounts = AccountStore()
            self.login = LoginState()
            self.directory = DirectoryState()
            self.teams = TeamState()
            self.managed = ManagedState()
            self.migration = MigrationState()
            self.mfa = MfaState()
            self.recovery = RecoveryState()
            self.reports = ReportState()
            self.recipients = RecipientState()
            self.ctag = "ctag-1"
            self.cluster_members = [self._member(i) for i in range(len(self.server_urls))]
            self._set_site_data({
                "updated_at": self.started_at,
                "gtag": 1,
                "auditLogEnabled": False,
                "auditLogArchiveNonEncrypted": False,
                "auditLogForensic": False,
                "auditLogArchiveCopy": False,
                "auditLogTarget": 0,
                "auditLogToken": "",
                "auditLogUrl": "",
                "pollingInterval": DEFAULT_POLLING_INTERVAL,
            })

    def _member(self, index, **given):
        member = {"url": self.server_urls[index], "dataCenter": DEFAULT_DATA_CENTER,
                  "isMaster": index == 0, "isOnline": True}
        member.update(given)
        return member

    # --- cluster document --------------------------------------------------------------------

    def cluster_document(self):
        with self.lock:
            return {"ctag": self.ctag, "members": copy.deepcopy(self.cluster_members)}

    def set_cluster(self, members=None, ctag=None):
        """Replaces the member list (each member names a server index or a url) and the tag; a new
        tag is made when none is given."""
        with self.lock:
            if members is not None:
                self.cluster_members = [self._member_from(m) for m in members]
            self.ctag = ctag if ctag is not None else "ctag-%d" % next(self._ctag_numbers)

    def _member_from(self, given):
        if not isinstance(given, dict):
            raise ValueError("a cluster member is a JSON object")
        server = given.get("server")
        if server is not None and (isinstance(server, bool) or not isinstance(server, int)
                                   or not 0 <= server < len(self.server_urls)):
            raise ValueError("unknown server: %r" % (server,))
        if server is None and "url" not in given:
            raise ValueError('a cluster member needs "server" or "url"')
        member = self._member(server) if server is not None else {
            "url": "", "dataCenter": DEFAULT_DATA_CENTER, "isMaster": False, "isOnline": True}
        for name, kind in (("url", str), ("dataCenter", str), ("isMaster", bool), ("isOnline", bool)):
            if name in given:
                if not isinstance(given[name], kind):
                    raise ValueError('"%s" has the wrong type' % name)
                member[name] = given[name]
        return member

    # --- site data ---------------------------------------------------------------------------

    def _set_site_data(self, document):
        # Signed once per change (a reset to the same content keeps the text), so that every fetch
        # of one version returns the same bytes.
        if getattr(self, "site_data", None) == document:
            return
        self.site_data = dict(document)
        self.site_data_body = signing.canonical_json(self.key.sign_document(document))

    def site_data_text(self):
        with self.lock:
            return self.site_data_body

    def tags(self):
        """The change tags the etag document reports."""
        with self.lock:
            return {"gtag": self.site_data["gtag"], "ltag": self.sync.ltag, "ctag": self.ctag}

    # --- faults ------------------------------------------------------------------------------

    def add_fault(self, spec):
        with self.lock:
            return self.faults.add(spec)

    def take_faults(self, server, api_path, has_token):
        with self.lock:
            return self.faults.take_matching(server, api_path, has_token)

    def refuses_connections(self, server):
        with self.lock:
            return self.faults.refuses_connections(server)

    # --- request log -------------------------------------------------------------------------

    def log_request(self, server, method, path, headers, body, connection=None):
        entry = {"server": server, "method": method, "path": path, "headers": headers,
                 "body": body, "status": 0,
                 "connection": connection.number if connection else 0,
                 "resumed": connection.resumed if connection else False}
        with self.lock:
            self.requests.append(entry)
            if len(self.requests) > LOG_LIMIT:
                del self.requests[:len(self.requests) - LOG_LIMIT]
        return entry

    def set_logged_status(self, entry, status):
        with self.lock:
            entry["status"] = status

    def request_log(self):
        with self.lock:
            return copy.deepcopy(self.requests)
