#!/usr/bin/python3
"""Runs inside a terminal emulator: appends every byte typed or pasted into the terminal to
OUTPUT_FILE as it arrives (no line editing, no echo), until the terminal closes."""
import os
import sys
import termios
import tty


def main():
    output = sys.argv[1]
    fd = sys.stdin.fileno()
    tty.setraw(fd, termios.TCSANOW)
    with open(output, "ab", buffering=0) as out:
        while True:
            data = os.read(fd, 4096)
            if not data:
                break
            out.write(data)


if __name__ == "__main__":
    main()
