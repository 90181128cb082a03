#!/usr/bin/python3
"""The demo's local update server: pyftpdlib on 127.0.0.1 serving one folder.

Usage: demo_update_server.py FOLDER PORT_FILE
       demo_update_server.py --https CERT KEY FOLDER PORT_FILE
The account is "verimant"; its password comes from VERIMANT_DEMO_FTP_PASSWORD, so that it never
shows in a process listing. With --https the folder is served read-only over HTTPS instead, and a
POST appends its body to the file it names below the folder (the report). The server listens on a port the system chooses and writes its number
to PORT_FILE once it accepts connections. The account may read, append to files and make folders
(the tool's report goes to log4/.../rep.txt), but not replace or delete what the set holds.
"""
import http.server
import logging
import os
import ssl
import sys
from pathlib import Path

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def publish_port(port_file: Path, port: int) -> None:
    partial = port_file.with_name(port_file.name + ".part")
    partial.write_text(f"{port}\n")
    partial.rename(port_file)


def serve_https(cert: str, key: str, folder: str, port_file: Path) -> int:
    root = Path(folder).resolve()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=str(root), **kwargs)

        def do_POST(self):
            target = (root / self.path.lstrip("/")).resolve()
            if root not in target.parents:
                self.send_error(403)
                return
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            target.parent.mkdir(parents=True, exist_ok=True)
            with open(target, "ab") as report:
                report.write(body)
            self.send_response(201)
            self.send_header("Content-Length", "0")
            self.end_headers()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    publish_port(port_file, server.server_address[1])
    server.serve_forever()
    return 0


def main() -> int:
    if sys.argv[1] == "--https":
        return serve_https(sys.argv[2], sys.argv[3], sys.argv[4], Path(sys.argv[5]))
    folder, port_file = sys.argv[1], Path(sys.argv[2])
    password = os.environ.pop("VERIMANT_DEMO_FTP_PASSWORD", "")
    if not password:
        print("VERIMANT_DEMO_FTP_PASSWORD is not set", file=sys.stderr)
        return 2
    authorizer = DummyAuthorizer()
    authorizer.add_user("verimant", password, folder, perm="elram")
    handler = FTPHandler
    handler.authorizer = authorizer
    logging.basicConfig(level=logging.INFO, format="%(asctime)s %(message)s")
    server = FTPServer(("127.0.0.1", 0), handler)
    publish_port(port_file, server.socket.getsockname()[1])
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
