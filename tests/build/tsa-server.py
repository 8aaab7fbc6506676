#!/usr/bin/env python3
"""A time-stamp authority (RFC 3161) on 127.0.0.1 for the release tests, the machine being offline.

  tsa-server.py PATH=CONFIG...

Answers a time-stamp query POSTed to PATH with the reply of `openssl ts -reply` under the OpenSSL
configuration CONFIG (its signer certificate and key), and one POSTed to any other path with
HTTP 500, as a refusing authority would. Prints the port it listens on, then serves until killed.
"""
import http.server
import subprocess
import sys

configs = dict(argument.split("=", 1) for argument in sys.argv[1:])


class TimeStampAuthority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        reply = b""
        if self.path in configs:
            answer = subprocess.run(
                ["openssl", "ts", "-reply", "-config", configs[self.path],
                 "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
                input=query, capture_output=True)
            if answer.returncode == 0:
                reply = answer.stdout
            else:
                sys.stderr.write(answer.stderr.decode(errors="replace"))
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampAuthority)
print(server.server_address[1], flush=True)
server.serve_forever()
