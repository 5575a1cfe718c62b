#!/usr/bin/env python3
"""The other systems of the station for the tests of the real program.

  udp_peer.py freeport ADDRESS            a UDP port free on ADDRESS now
  udp_peer.py send FROM TO PORT TEXT      one datagram from address FROM
  udp_peer.py listen ADDRESS PORTFILE OUT writes its port to PORTFILE, then
                                          appends every datagram to OUT, one a line
"""
import socket
import sys


def freeport(address):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((address, 0))
    print(s.getsockname()[1])
    s.close()


def send(source, target, port, text):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((source, 0))
    s.sendto(text.encode("utf-8"), (target, int(port)))
    s.close()


def listen(address, port_file, out):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((address, 0))
    with open(port_file + ".tmp", "w") as f:
        f.write(str(s.getsockname()[1]))
    import os
    os.replace(port_file + ".tmp", port_file)
    while True:
        data, _ = s.recvfrom(65536)
        with open(out, "a", encoding="utf-8") as f:
            f.write(data.decode("utf-8", "replace") + "\n")


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "freeport":
        freeport(sys.argv[2])
    elif command == "send":
        send(*sys.argv[2:6])
    elif command == "listen":
        listen(*sys.argv[2:5])
    else:
        sys.exit("unknown command " + command)
