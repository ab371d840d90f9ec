# Test server on 127.0.0.1 only: GET serves the files of a directory; POST /score
# adds its form body to a board that GET /board returns, lines joined by CR LF.
# Prints its port, optionally writes it to a file, and ends by itself after a while.
#   python3 net_server.py DIR [PORTFILE]
import http.server
import os
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    board = []

    def _send(self, data):
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        if self.path == "/board":
            self._send("\r\n".join(Handler.board).encode())
        else:
            super().do_GET()

    def do_POST(self):
        n = int(self.headers.get("Content-Length", "0"))
        Handler.board.append(self.rfile.read(n).decode("latin-1"))
        self._send(b"ok")

    def log_message(self, *args):
        pass


os.chdir(sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
port = server.server_address[1]
if len(sys.argv) > 2:
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(sys.argv[2] + ".tmp", sys.argv[2])
print(port, flush=True)
threading.Timer(300, lambda: os._exit(0)).start()
server.serve_forever()
