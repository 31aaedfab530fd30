"""An FTP server on 127.0.0.1 that accepts connections and then stalls.

Usage: stalled_ftp_server.py MODE
  silent      accepts and never sends a byte
  greeting    sends the greeting, then answers nothing
  login       greets and accepts any login, then answers nothing
Prints the port it listens on, then serves until it is killed.
"""

import socket
import sys
import threading


def serve(connection, mode):
    if mode == "silent":
        return
    connection.sendall(b"220 ready\r\n")
    if mode != "login":
        return
    for line in connection.makefile("rb"):
        command = line.split(b" ", 1)[0].strip().upper()
        if command == b"USER":
            connection.sendall(b"331 password please\r\n")
        elif command == b"PASS":
            connection.sendall(b"230 logged in\r\n")


def main():
    mode = sys.argv[1]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print(server.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = server.accept()
        held.append(connection)  # kept open: the client must see a live, silent peer
        threading.Thread(target=serve, args=(connection, mode), daemon=True).start()


if __name__ == "__main__":
    main()
