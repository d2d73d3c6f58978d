#!/usr/bin/env python3
"""A scripted telnet host for the checks of the installed program.

Listens on ADDRESS:PORT, prints "listening" once it does (so the caller can start the terminal),
accepts one connection, greets in EUC-JP, asks for the terminal type and checks the answer,
then logs the user out by closing the connection. Exit status 0 when the terminal answered as
expected, 1 otherwise (with the reason on stderr).
"""
import argparse
import socket
import sys

IAC, SB, SE, WILL, DO = 255, 250, 240, 251, 253
TTYPE, IS, SEND = 24, 0, 1


def read_until(conn, want, buffer):
    while want not in buffer:
        chunk = conn.recv(4096)
        if not chunk:
            raise ConnectionError("the terminal closed before sending %r (got %r)" % (want, bytes(buffer)))
        buffer += chunk
    return buffer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.23")
    parser.add_argument("--port", type=int, default=23)
    parser.add_argument("--type", default="vt100", help="the terminal type the terminal should report")
    parser.add_argument("--limit", type=float, default=300, help="seconds before giving up on a hung terminal")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.address, args.port))
    listener.listen(1)
    listener.settimeout(args.limit)
    print("listening", flush=True)
    try:
        conn, _ = listener.accept()
        conn.settimeout(args.limit)
        conn.sendall("Velmora のパッケージの確認です。\r\n".encode("euc_jp"))
        conn.sendall(bytes([IAC, DO, TTYPE]))
        buffer = read_until(conn, bytes([IAC, WILL, TTYPE]), bytearray())
        conn.sendall(bytes([IAC, SB, TTYPE, SEND, IAC, SE]))
        buffer = read_until(conn, bytes([IAC, SE]), buffer)
        start = buffer.find(bytes([IAC, SB, TTYPE, IS]))
        if start < 0:
            raise ValueError("no terminal type report in %r" % bytes(buffer))
        reported = bytes(buffer[start + 4:buffer.index(bytes([IAC, SE]), start)]).decode("ascii", "replace")
        if reported.lower() != args.type.lower():
            raise ValueError("the terminal reported %r instead of %r" % (reported, args.type))
        conn.sendall("ログアウトします。\r\n".encode("euc_jp"))
        conn.shutdown(socket.SHUT_RDWR)
        conn.close()
    except (OSError, ValueError) as error:
        print("telnet_host: %s" % error, file=sys.stderr)
        return 1
    print("the terminal reported %s" % reported, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
