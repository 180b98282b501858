#!/usr/bin/env python3
"""Tells whether the machine itself stops: wakes every millisecond and prints each wake-up
that came more than 5 ms late, as "MONOTONIC_TIME LATENESS_MS". Run it at a real-time priority
above the sound programs (chrt -f 50): a late wake-up then means that nothing in the machine
ran, the sound server and the window included (a virtual machine held by its host, say).

  chrt -f 50 stall_probe.py SECONDS > stalls.txt
"""
import sys
import time

end = time.monotonic() + float(sys.argv[1])
due = time.monotonic()
while due < end:
    due += 0.001
    wait = due - time.monotonic()
    if wait > 0:
        time.sleep(wait)
    now = time.monotonic()
    if now - due > 0.005:
        print("%.3f %.1f" % (now, (now - due) * 1000), flush=True)
        due = now
