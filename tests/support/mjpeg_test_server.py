"""Loopback network camera run by MjpegTestServer.h with the arguments FOLDER PORT [RELEASE] (PORT 0: a free one): serves
the JPEG files of FOLDER in turn, about 10 a second, as an MJPEG stream (multipart/x-mixed-replace) at /stream.mjpg; with
RELEASE, a slow camera: each stream's first frame waits until the file RELEASE exists. Prints its port once it listens;
ends when its input closes (never outliving the test)."""

import http.server, itertools, os, sys, threading, time

folder, port = sys.argv[1], int(sys.argv[2])
release = sys.argv[3] if len(sys.argv) > 3 else None
frames = [open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder)) if name.endswith(".jpg")]

class Stream(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=frame")
        self.end_headers()
        while release and not os.path.exists(release):
            time.sleep(0.02)
        try:
            for jpeg in itertools.cycle(frames):
                head = b"--frame\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % len(jpeg)
                self.wfile.write(head + jpeg + b"\r\n")
                time.sleep(0.1)
        except OSError:   # the reader went away
            pass
    def log_message(self, *args): pass

# HTTPServer sets SO_REUSEADDR: a server started again takes the port its predecessor had.
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Stream)
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
print(server.server_address[1], flush=True)
server.serve_forever()
