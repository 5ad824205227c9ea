#!/usr/bin/env python3
"""Serves a folder (dist/web by default) on 127.0.0.1 with the two headers
that give a page shared memory, so that the WebAssembly programs can run
threads:
    Cross-Origin-Opener-Policy: same-origin
    Cross-Origin-Embedder-Policy: require-corp

usage: web_serve.py [--port N] [--dir DIR]   (port 0 picks a free one)
Prints the URL, then serves until interrupted."""
import argparse
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".js": "text/javascript",
        ".mjs": "text/javascript",
        ".wasm": "application/wasm",
        ".xm": "application/octet-stream",
    }

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cross-Origin-Resource-Policy", "same-origin")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, format, *args):
        if self.server.verbose:
            super().log_message(format, *args)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--dir", default="dist/web")
    parser.add_argument("--quiet", action="store_true", help="do not log each request")
    options = parser.parse_args()
    handler = functools.partial(Handler, directory=options.dir)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), handler)
    server.verbose = not options.quiet
    print(f"Serving {options.dir} at http://127.0.0.1:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
