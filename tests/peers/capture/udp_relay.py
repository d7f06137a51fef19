#!/usr/bin/env python3
# Loopback UDP relay that logs every datagram between one client and a BMC, for captures
# in tests/data. Usage: udp_relay.py LISTEN_PORT BMC_PORT LOG SECONDS
# Point the client at 127.0.0.1:LISTEN_PORT; the log gets one "> hex" (client to BMC) or
# "< hex" (BMC to client) line per datagram. Turn it into a .hex file with annotate_rmcp.py.
import select
import socket
import sys
import time


def main():
    listen_port, bmc_port, log_path, seconds = sys.argv[1:5]
    front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    front.bind(("127.0.0.1", int(listen_port)))
    back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    back.bind(("127.0.0.1", 0))
    client = None
    end = time.monotonic() + float(seconds)
    with open(log_path, "w") as log:
        while time.monotonic() < end:
            ready, _, _ = select.select([front, back], [], [], 0.2)
            for s in ready:
                data, source = s.recvfrom(4096)
                if s is front:
                    client = source
                    back.sendto(data, ("127.0.0.1", int(bmc_port)))
                    log.write("> " + data.hex() + "\n")
                elif client:
                    front.sendto(data, client)
                    log.write("< " + data.hex() + "\n")
                log.flush()


if __name__ == "__main__":
    main()
