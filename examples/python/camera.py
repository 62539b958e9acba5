#!/usr/bin/env python3
"""Live camera with a swirl lens: python3 camera.py [DEVICE_OR_VIDEO]; q quits."""
import sys

import cv2
import quexal

source = sys.argv[1] if len(sys.argv) > 1 else "0"
capture = cv2.VideoCapture(int(source) if source.isdigit() else source)
ok, frame = capture.read()
if not ok:
    sys.exit(f"camera.py: nothing to read from {source}")
with quexal.Session(frame.shape[1], frame.shape[0]) as session:
    while ok:
        cv2.imshow("quexal (q quits)", session.lens(frame, quexal.Lens.SWIRL))
        if cv2.waitKey(1) & 0xFF == ord("q"):
            break
        ok, frame = capture.read()
capture.release()
cv2.destroyAllWindows()
