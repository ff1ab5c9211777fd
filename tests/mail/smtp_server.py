#!/usr/bin/python3
"""Loopback SMTP server for the mail tests (aiosmtpd), and a reader of the messages it stored.

serve OUT_DIR [--tls CERT KEY] [--auth USER:PASSWORD] [--refuse ADDRESS]
    listens on 127.0.0.1, writes its port to OUT_DIR/port, stores message N as OUT_DIR/N.eml
    with its envelope in OUT_DIR/N.env (sender, then one recipient a line); ends on SIGTERM.
inspect FILE.eml OUT_DIR
    prints what the tests check, one "key=value" a line; writes the attachment as
    OUT_DIR/attachment.html and the HTML part, its cid: pictures as files, as OUT_DIR/mail.html.
"""
import ctypes
import email
import email.policy
import os
import re
import signal
import socket
import ssl
import sys
import threading


def serve(args):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    # The server never outlives the test that started it, even one that crashed.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    out = args[0]
    tls = auth = refuse = None
    i = 1
    while i < len(args):
        if args[i] == "--tls":
            tls, i = (args[i + 1], args[i + 2]), i + 3
        elif args[i] == "--auth":
            auth, i = args[i + 1], i + 2
        elif args[i] == "--refuse":
            refuse, i = args[i + 1], i + 2
        else:
            sys.exit("unknown option " + args[i])

    class Handler:
        count = 0

        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if address == refuse:
                return "550 5.1.1 Utente sconosciuto"
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            Handler.count += 1
            base = os.path.join(out, str(Handler.count))
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content)
            with open(base + ".env", "w") as f:
                f.write("\n".join([envelope.mail_from] + envelope.rcpt_tos) + "\n")
            return "250 Message accepted"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth is not None and (auth_data.login.decode() + ":" + auth_data.password.decode()) == auth
        return AuthResult(success=ok)

    kwargs = {}
    if tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*tls)
        kwargs.update(tls_context=context, require_starttls=True)
    if auth:
        kwargs.update(authenticator=authenticator, auth_required=True)
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, decode_data=False,
                            **kwargs)
    controller.start()
    with open(os.path.join(out, "port.tmp"), "w") as f:
        f.write(str(port))
    os.rename(os.path.join(out, "port.tmp"), os.path.join(out, "port"))
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait()
    controller.stop()


def tree(part):
    if part.is_multipart():
        return part.get_content_type() + "[" + ",".join(tree(p) for p in part.get_payload()) + "]"
    return part.get_content_type()


def inspect(path, out):
    raw = open(path, "rb").read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    print("structure=" + tree(msg))
    for key in ("From", "To", "Subject", "Date", "Message-ID", "MIME-Version"):
        print("header." + key + "=" + " ".join(str(msg.get(key, "")).split()))
    print("raw_ascii=" + str(all(b < 128 for b in raw)))
    print("crlf_only=" + str(raw.count(b"\n") == raw.count(b"\r\n")))
    print("long_lines=" + str(sum(1 for line in raw.split(b"\r\n") if len(line) > 998)))
    pictures, html, plain = {}, "", ""
    for part in msg.walk():
        kind = part.get_content_type()
        if kind == "image/png":
            data = part.get_payload(decode=True)
            cid = part["Content-ID"].strip("<>")
            pictures[cid] = data
            print("png_signature=" + str(data[:8] == b"\x89PNG\r\n\x1a\n"))
        elif part.get_filename() == "dashboard.html":
            open(os.path.join(out, "attachment.html"), "wb").write(part.get_payload(decode=True))
        elif kind == "text/html":
            html = part.get_content()
        elif kind == "text/plain":
            plain = part.get_content()
    cids = re.findall(r'src="cid:([^"]+)"', html)
    print("cids=" + str(len(cids)))
    print("pngs=" + str(len(pictures)))
    print("cids_without_png=" + str(len([c for c in cids if c not in pictures])))
    print("html_svg_or_script=" + str(bool(re.search(r"<svg|<script|<style", html, re.I))))
    print("html_width_640=" + str("max-width:640px" in html))
    for cid, data in pictures.items():
        name = cid.split("@")[0] + ".png"
        open(os.path.join(out, name), "wb").write(data)
        html = html.replace("cid:" + cid, name)
    open(os.path.join(out, "mail.html"), "w").write(html)
    open(os.path.join(out, "plain.txt"), "w").write(plain)


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2:])
    else:
        inspect(sys.argv[2], sys.argv[3])
