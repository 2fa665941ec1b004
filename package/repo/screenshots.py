"""Screenshots of the settings pane: drawn by the simulated device (ravelo-sim's `capture`) at two
iPhones' widths and scales, in light appearance, and cut to the height of their screens, so each
shows what the phone shows when the pane opens."""

import os
import subprocess
import tempfile

from . import control, png

# (name, width and height in points, pixels per point): the narrowest and the widest iPhone
# screens on iOS 15 and later.
PHONES = (
    ("iPhone SE", 375, 667, 2),
    ("iPhone 13 Pro Max", 428, 926, 3),
)

# The pane as a user who has chosen a few sounds sees it.
SETTINGS = """\
set enabled true
set IconSound true
set iconTapSound 10
set LockSoundC true
set lockSound 29
set UnlockSoundC true
set unlockSound 30
set ChargingSoundC true
set chargingSound 3
"""


class Screenshot:
    def __init__(self, file, phone, width, height):
        self.file = file            # name in the depiction's folder
        self.phone = phone
        self.width = width          # points
        self.height = height
        self.caption = f"Settings > Ravelo on an {phone} ({width} points wide)"


def draw(sim, folder):
    """Draws the screenshots into `folder` with the simulator `sim` and returns them."""
    if not (os.path.isfile(sim) and os.access(sim, os.X_OK)):
        raise control.Failure(f"no simulator at {sim} to draw the screenshots: build it "
                              "(cmake --build build --target ravelo-sim) or give --sim PATH")
    shots = []
    with tempfile.TemporaryDirectory() as work:
        for phone, width, height, scale in PHONES:
            full = os.path.join(work, f"pane-{width}.png")
            scenario = os.path.join(work, f"pane-{width}.txt")
            with open(scenario, "w") as out:
                out.write(SETTINGS + f"screen-width {width}\nopen-settings\ncapture {full}\n")
            drawn = subprocess.run([sim, "--capture-scale", str(scale), scenario], capture_output=True, text=True)
            if drawn.returncode != 0 or not os.path.isfile(full):
                raise control.Failure(f"{sim} could not draw the pane {width} points wide:\n"
                                      + (drawn.stdout + drawn.stderr).strip()[-2000:])
            shot = Screenshot(f"screenshot-{width}.png", phone, width, height)
            png.keep_top(full, os.path.join(folder, shot.file), height * scale)
            shots.append(shot)
    return shots
