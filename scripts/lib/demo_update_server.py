#!/usr/bin/python3
"""The demo's local update server: pyftpdlib on 127.0.0.1 serving one folder.

Usage: demo_update_server.py FOLDER PORT_FILE
The account is "verimant"; its password comes from VERIMANT_DEMO_FTP_PASSWORD, so that it never
shows in a process listing. The server listens on a port the system chooses and writes its number
to PORT_FILE once it accepts connections. The account may read, append to files and make folders
(the tool's report goes to log4/.../rep.txt), but not replace or delete what the set holds.
"""
import logging
import os
import sys
from pathlib import Path

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main() -> int:
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
    port = server.socket.getsockname()[1]
    partial = port_file.with_name(port_file.name + ".part")
    partial.write_text(f"{port}\n")
    partial.rename(port_file)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
