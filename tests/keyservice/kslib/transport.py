"""HTTPS on loopback: one listener per instance that can refuse connections while keeping its port,
a thread per connection, TLS handshakes off the accept loop, HTTP/1.1 with keep-alive. Connections are
numbered across the whole service, so a client's reuse of connections and TLS sessions shows in the log;
an instance that stops listening also closes the connections it holds open."""

import ctypes
import ctypes.util
import errno
import http.server
import itertools
import socket
import ssl
import sys
import threading

HANDSHAKE_TIMEOUT = 10
IDLE_TIMEOUT = 30

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)


def _stop_listening(sock):
    """Turns a listening TCP socket back into a bound, closed one (connect to AF_UNSPEC): new
    connections are refused, and the port stays ours until we listen again."""
    unspecified = (ctypes.c_ubyte * 16)()
    if _libc.connect(sock.fileno(), ctypes.byref(unspecified), len(unspecified)) != 0:
        err = ctypes.get_errno()
        raise OSError(err, "cannot stop listening")


def _free_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]
    finally:
        probe.close()


class Listener:
    """A loopback listener bound to an explicit port (so the port survives "stop listening")."""

    def __init__(self):
        self.lock = threading.Condition()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # Another process on the machine can take the probed port before we bind it: probe again.
        for attempt in range(20):
            try:
                self.sock.bind(("127.0.0.1", _free_port()))
                break
            except OSError as failure:
                if failure.errno != errno.EADDRINUSE or attempt == 19:
                    raise
        self.port = self.sock.getsockname()[1]
        self.sock.listen(64)
        self.sock.settimeout(0.2)
        self.refusing = False
        self.closed = False

    def set_refusing(self, refusing):
        with self.lock:
            if refusing == self.refusing or self.closed:
                return
            if refusing:
                _stop_listening(self.sock)
            else:
                self.sock.listen(64)
            self.refusing = refusing
            self.lock.notify_all()

    def accept(self):
        """The next connection, or None (time-out, refusing, closed)."""
        with self.lock:
            while self.refusing and not self.closed:
                self.lock.wait(0.5)
            if self.closed:
                return None
        try:
            conn, _ = self.sock.accept()
            return conn
        except (socket.timeout, OSError):
            return None

    def close(self):
        with self.lock:
            self.closed = True
            self.lock.notify_all()
        self.sock.close()


class ApiHandler(http.server.BaseHTTPRequestHandler):
    """Reads one request at a time and asks the service for the reply (None: close, no reply)."""

    protocol_version = "HTTP/1.1"
    # Replies go out at once instead of waiting for the client's acknowledgement of the headers.
    disable_nagle_algorithm = True
    timeout = IDLE_TIMEOUT

    def version_string(self):
        return "VorlaneTestKeyService/1"

    def do_GET(self):
        self._serve()

    def do_POST(self):
        self._serve()

    def do_PUT(self):
        self._serve()

    def do_DELETE(self):
        self._serve()

    def _read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            chunks = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(chunks)
                chunks.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _serve(self):
        body = self._read_body()
        headers = {name: value for name, value in self.headers.items()}
        reply = self.server.service.serve_api(self.server.index, self.command, self.path, headers, body,
                                              self.server.connection_of(self.connection))
        if reply is None:
            self.close_connection = True
            self.server.drop(self.connection)
            return
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(len(reply.body)))
        for name, value in reply.headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(reply.body)
        self.wfile.flush()

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        sys.stderr.write("[%s] %s\n" % (self.server.name, format % args))


class Connection:
    """What the log tells of the connection a request came on: its number (over the whole service,
    from 1) and whether its TLS handshake resumed an earlier session."""

    _numbers = itertools.count(1)
    _numbers_lock = threading.Lock()

    def __init__(self, resumed):
        with Connection._numbers_lock:
            self.number = next(Connection._numbers)
        self.resumed = resumed


class Instance:
    """One HTTPS server of the service: a listener, its TLS context, its accept thread and the
    connections it holds open."""

    def __init__(self, index, name, cert_file, key_file, service):
        self.index = index
        self.name = name
        self.service = service
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert_file, key_file)
        self.listener = Listener()
        self.port = self.listener.port
        self.url = "https://127.0.0.1:%d" % self.port
        self.stopping = False
        self.thread = threading.Thread(target=self._accept_loop, name=name, daemon=True)
        self.open_lock = threading.Lock()
        self.open = {}  # TLS socket -> Connection

    def start(self):
        self.thread.start()

    def stop(self):
        self.stopping = True
        self.listener.close()

    def set_refusing(self, refusing):
        """Refusing also ends every open connection: a server that is down answers on none."""
        self.listener.set_refusing(refusing)
        if refusing:
            with self.open_lock:
                connections = list(self.open)
            for connection in connections:
                try:  # the socket's own shutdown: its TLS state belongs to the thread serving it
                    socket.socket.shutdown(connection, socket.SHUT_RDWR)
                except OSError:
                    pass

    def connection_of(self, tls):
        with self.open_lock:
            return self.open.get(tls)

    def drop(self, connection):
        """Ends a connection at once, without a reply."""
        try:
            connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def _accept_loop(self):
        while not self.stopping:
            conn = self.listener.accept()
            if conn is not None:
                threading.Thread(target=self._serve_connection, args=(conn,), daemon=True).start()

    def _serve_connection(self, conn):
        conn.settimeout(HANDSHAKE_TIMEOUT)
        try:
            tls = self.context.wrap_socket(conn, server_side=True)
        except (OSError, ssl.SSLError):
            conn.close()
            return
        with self.open_lock:
            self.open[tls] = Connection(tls.session_reused)
        try:
            if self.listener.refusing:
                return  # went down during the handshake
            ApiHandler(tls, tls.getpeername(), self)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            with self.open_lock:
                self.open.pop(tls, None)
            try:
                tls.close()
            except OSError:
                pass
