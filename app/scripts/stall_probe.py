#!/usr/bin/env python3
"""Tells whether the machine itself stops: wakes every millisecond and prints each wake-up
that came more than 5 ms late, as "MONOTONIC_TIME LATENESS_MS". Run it on one processor at a
real-time priority above the sound programs (taskset -c N chrt -f 50): a late wake-up then means
that the processor ran nothing else either, the sound server and the window included (a
virtual processor held by its host, say).

  taskset -c 0 chrt -f 50 stall_probe.py SECONDS > stalls.0.txt
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
