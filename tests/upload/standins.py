# SPDX-License-Identifier: GPL-3.0-or-later
"""Stand-ins for the weather networks' servers, one per protocol, as strict as their
documentation: they take only the field names, units and number formats the networks
describe, check the credentials, and answer as the networks do, failures included. Each
keeps what it accepted, for the test to compare with the archive."""

import http.server
import json
import re
import socket
import socketserver
import ssl
import threading
import urllib.parse

WU_FIELDS = {
    "tempf": r"-?\d+\.\d",
    "dewptf": r"-?\d+\.\d",
    "humidity": r"(100|[1-9]?\d)",
    "baromin": r"\d{2}\.\d{3}",
    "windspeedmph": r"\d+(\.\d)?",
    "windgustmph": r"\d+(\.\d)?",
    "winddir": r"(360|3[0-5]\d|[12]?\d?\d)",
    "rainin": r"\d+\.\d{2}",
    "dailyrainin": r"\d+\.\d{2}",
    "solarradiation": r"\d+(\.\d)?",
    "softwaretype": r".{1,64}",
}
WINDY_FIELDS = {
    "temp": r"-?\d+(\.\d)?",
    "dewpoint": r"-?\d+(\.\d)?",
    "wind": r"\d+(\.\d)?",
    "gust": r"\d+(\.\d)?",
    "winddir": r"(360|3[0-5]\d|[12]?\d?\d)",
    "rh": r"(100|[1-9]?\d)",
    "pressure": r"\d{5,6}",
    "precip": r"\d+(\.\d+)?",
}
CWOP_PACKET = re.compile(
    r"(?P<id>[A-Z0-9-]{3,9})>APRS,TCPIP\*:@(?P<day>\d{2})(?P<hour>\d{2})(?P<minute>\d{2})z"
    r"(?P<lat>\d{4}\.\d{2}[NS])/(?P<lon>\d{5}\.\d{2}[EW])_(?P<dir>\d{3}|\.{3})/(?P<speed>\d{3}|\.{3})"
    r"g(?P<gust>\d{3}|\.{3})t(?P<temp>-\d{2}|\d{3}|\.{3})r(?P<rain1h>\d{3}|\.{3})"
    r"p(?P<rain24h>\d{3}|\.{3})P(?P<rainday>\d{3}|\.{3})h(?P<hum>\d{2}|\.{2})"
    r"b(?P<baro>\d{5}|\.{5})(?P<software>[ -~]{0,40})")


class Recorder:
    """What a stand-in accepted, and a way to wait for it without sleeping."""

    def __init__(self):
        self.accepted = []
        self.received = 0
        self.condition = threading.Condition()
        self.hold_from = None  # the request number from which answers wait for release
        self.released = threading.Event()
        self.fail_next = []  # status codes to answer the next requests with

    def arrive(self):
        with self.condition:
            self.received += 1
            number = self.received
            self.condition.notify_all()
        if number == self.hold_from:
            # Held until the test releases it, then dropped unanswered: the client went away.
            self.released.wait(30)
            return None
        return number

    def accept(self, record):
        with self.condition:
            self.accepted.append(record)
            self.condition.notify_all()

    def wait(self, predicate, timeout=60):
        with self.condition:
            return self.condition.wait_for(lambda: predicate(self), timeout)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    network = None  # set by the subclasses

    def log_message(self, *args):
        pass

    def answer(self, status, body, content_type="text/plain"):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def query(self):
        parsed = urllib.parse.urlsplit(self.path)
        pairs = urllib.parse.parse_qsl(parsed.query, keep_blank_values=True, strict_parsing=True)
        names = [name for name, _ in pairs]
        if len(names) != len(set(names)):
            raise ValueError("a field twice")
        return parsed.path, dict(pairs)


def check_fields(fields, allowed, skip):
    for name, value in fields.items():
        if name in skip:
            continue
        pattern = allowed.get(name)
        if pattern is None:
            raise ValueError("unknown field " + name)
        if not re.fullmatch(pattern, value):
            raise ValueError("bad number format %s=%s" % (name, value))


class WundergroundHandler(Handler):
    """Weather Underground's protocol, and PWSweather's and WOW's dialects of it."""
    path_expected = "/weatherstation/updateweatherstation.php"
    id_field, key_field = "ID", "PASSWORD"

    def refuse(self):
        self.answer(401, "unauthorized")

    def do_GET(self):
        number = self.server.recorder.arrive()
        if number is None:
            self.close_connection = True
            return
        try:
            path, fields = self.query()
            if path != self.path_expected:
                return self.answer(404, "not found")
            for name in (self.id_field, self.key_field, "action", "dateutc"):
                if name not in fields:
                    raise ValueError("missing " + name)
            if fields["action"] != "updateraw":
                raise ValueError("action")
            if fields["dateutc"] != "now" and not re.fullmatch(
                    r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}", fields["dateutc"]):
                raise ValueError("dateutc")
            check_fields(fields, WU_FIELDS, {self.id_field, self.key_field, "action", "dateutc"})
        except ValueError as e:
            return self.answer(400, "bad request: %s" % e)
        if (fields[self.id_field], fields[self.key_field]) != self.server.credentials:
            return self.refuse()
        if self.server.recorder.fail_next:
            return self.answer(self.server.recorder.fail_next.pop(0), "server busy")
        if not self.too_soon(fields):
            fields["number"] = number
            self.server.recorder.accept(fields)
            self.success()

    def too_soon(self, fields):
        return False

    def success(self):
        self.answer(200, "success\n")


class PwsHandler(WundergroundHandler):
    path_expected = "/pwsupdate/pwsupdate.php"

    def refuse(self):
        self.answer(200, "ERROR: Not a vailid Station ID")

    def success(self):
        self.answer(200, "Data Logged and posted in Station ID")


class WowHandler(WundergroundHandler):
    path_expected = "/automaticreading"
    id_field, key_field = "siteid", "siteAuthenticationKey"

    def refuse(self):
        self.answer(403, "")

    def too_soon(self, fields):
        accepted = self.server.recorder.accepted
        if accepted and abs(_seconds(fields["dateutc"]) - _seconds(accepted[-1]["dateutc"])) < 300:
            self.answer(429, "Too frequent observations")
            return True
        return False

    def success(self):
        self.answer(200, "{}", "application/json")


def _seconds(dateutc):
    """Seconds since 1970 of Weather Underground's dateutc."""
    import datetime
    return int(datetime.datetime.strptime(dateutc, "%Y-%m-%d %H:%M:%S").replace(
        tzinfo=datetime.timezone.utc).timestamp())


class WindyHandler(Handler):
    def do_GET(self):
        self.server.recorder.arrive()
        try:
            path, fields = self.query()
            if path != "/api/v2/observation/update":
                return self.answer(404, "not found")
            password = fields.pop("PASSWORD", None)
            # Headers come as ISO 8859-1 from http.server; the client sends UTF-8.
            header = self.headers.get("Authorization", "").encode("latin-1").decode()
            if header.startswith("Bearer "):
                password = header[len("Bearer "):]
            if password is None:
                return self.answer(401, json.dumps({"message": "Missing password"}), "application/json")
            if "id" not in fields or "time" not in fields:
                raise ValueError("id and time")
            if not re.fullmatch(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d{3})?Z", fields["time"]):
                raise ValueError("time")
            check_fields(fields, WINDY_FIELDS, {"id", "time"})
        except ValueError as e:
            return self.answer(400, json.dumps({"message": "Invalid data: %s" % e}), "application/json")
        if (fields["id"], password) != self.server.credentials:
            return self.answer(400, json.dumps({"message": "Invalid password"}), "application/json")
        accepted = self.server.recorder.accepted
        if any(a["time"] == fields["time"] for a in accepted):
            return self.answer(409, json.dumps({"message": "Duplicate observation"}), "application/json")
        self.server.recorder.accept(fields)
        self.answer(200, "OK")


class OpenSenseMapHandler(Handler):
    def do_POST(self):
        self.server.recorder.arrive()
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        box, token, sensors = self.server.credentials
        if self.path != "/boxes/%s/data" % box:
            return self.answer(404, json.dumps({"message": "Box not found"}), "application/json")
        if self.headers.get("Authorization", "").encode("latin-1").decode() != token:
            return self.answer(401, json.dumps({"message": "Box access token not valid!"}), "application/json")
        if self.headers.get("Content-Type") != "application/json":
            return self.answer(415, json.dumps({"message": "Unsupported content-type"}), "application/json")
        try:
            values = json.loads(body)
            if not isinstance(values, list) or not 0 < len(values) <= 2500:
                raise ValueError("array")
            for v in values:
                if set(v) != {"sensor", "value", "createdAt"} or v["sensor"] not in sensors:
                    raise ValueError("sensor")
                if not isinstance(v["value"], (int, float)):
                    raise ValueError("value")
                if not re.fullmatch(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d{3})?Z", v["createdAt"]):
                    raise ValueError("createdAt")
        except (ValueError, KeyError, TypeError) as e:
            return self.answer(422, json.dumps({"message": "Unprocessable: %s" % e}), "application/json")
        for v in values:
            self.server.recorder.accept(v)
        self.answer(201, "Measurements saved in box")


class HttpStandIn(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def __init__(self, handler, credentials, context=None):
        super().__init__(("127.0.0.1", 0), handler)
        self.credentials = credentials
        self.recorder = Recorder()
        if context is not None:
            self.socket = context.wrap_socket(self.socket, server_side=True)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        scheme = "https" if isinstance(self.socket, ssl.SSLSocket) else "http"
        return "%s://127.0.0.1:%d%s" % (scheme, self.server_address[1], path)


class CwopStandIn:
    """APRS-IS as CWOP's servers speak it: a # greeting, the login, a logresp, a packet."""

    def __init__(self):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.recorder = Recorder()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            connection, _ = self.server.accept()
            threading.Thread(target=self.session, args=(connection,), daemon=True).start()

    def session(self, connection):
        with connection, connection.makefile("rb") as lines:
            connection.sendall(b"# aprsc 2.1.10-g408ed49\r\n")
            login = lines.readline()
            m = re.fullmatch(rb"user ([A-Z0-9-]{3,9}) pass (-?\d{1,5}) vers (\S+) (\S+)\r\n", login)
            if not m:
                self.recorder.accept({"error": "login %r" % login})
                return
            connection.sendall(b"# logresp %s unverified, server T2STANDIN\r\n" % m.group(1))
            packet = lines.readline()
            if not packet.endswith(b"\r\n"):
                self.recorder.accept({"error": "no CR LF after %r" % packet})
                return
            match = CWOP_PACKET.fullmatch(packet[:-2].decode("ascii"))
            if not match or match.group("id") != m.group(1).decode():
                self.recorder.accept({"error": "packet %r" % packet})
                return
            record = match.groupdict()
            record["packet"] = packet[:-2].decode("ascii")
            self.recorder.accept(record)
