"""Loopback push server in the manner of ntfy, run by PushTestServer.h with the arguments FOLDER PORT [LIMIT] (PORT 0: a
free one): each PUT or POST is answered 200 with a JSON message and kept in FOLDER as NNNN.json (method, path, headers)
beside NNNN.body (its body), the JSON written last, under a temporary name renamed into place. A body of more than
LIMIT bytes is answered 413 and not kept. Prints its port once it listens; ends when its input closes."""

import http.server, json, os, sys, threading

folder, port = sys.argv[1], int(sys.argv[2])
limit = int(sys.argv[3]) if len(sys.argv) > 3 else None
lock = threading.Lock()

def keep(request, body):
    with lock:
        number = len([name for name in os.listdir(folder) if name.endswith(".json")])
        base = os.path.join(folder, "%04d" % number)
        with open(base + ".body", "wb") as out:
            out.write(body)
        record = {"method": request.command, "path": request.path, "headers": dict(request.headers.items())}
        with open(base + ".tmp", "w") as out:
            json.dump(record, out)
        os.rename(base + ".tmp", base + ".json")

class Topic(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_PUT(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if limit is not None and len(body) > limit:
            return self.answer(413, {"code": 41301, "error": "attachment too large"})
        keep(self, body)
        self.answer(200, {"id": "test", "event": "message", "topic": self.path.strip("/")})
    do_POST = do_PUT
    def answer(self, status, payload):
        text = json.dumps(payload).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)
    def log_message(self, *args): pass

server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Topic)
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
print(server.server_address[1], flush=True)
server.serve_forever()
