"""Reads a disk log with tifffile, a reader that is not ours, for the C++ tests.

Usage: read_tiff.py FILE PIXELS_OUT
Writes every page's pixels, as tifffile gives them (rows top first, samples
interleaved), one after the other to PIXELS_OUT, and prints one line per page:
  page WIDTH HEIGHT SAMPLES COMPRESSION TIME ABSTIME*6 FRAME RELATIVE TRIGGER PROVENANCE
with doubles as exact hexadecimal and PROVENANCE as sorted JSON, or "-".
Prints "warning TEXT" for anything tifffile logs, and "bigtiff 0|1" first.
"""
import json
import logging
import sys

import tifffile


class Collect(logging.Handler):
    def __init__(self):
        super().__init__()
        self.messages = []

    def emit(self, record):
        self.messages.append(record.getMessage())


def main(path, pixels_out):
    collected = Collect()
    logging.getLogger("tifffile").addHandler(collected)
    lines = []
    with tifffile.TiffFile(path) as tif, open(pixels_out, "wb") as out:
        lines.append("bigtiff %d" % int(tif.is_bigtiff))
        for page in tif.pages:
            data = page.asarray()
            out.write(data.tobytes())
            samples = 1 if data.ndim == 2 else data.shape[2]
            meta = json.loads(page.description)
            provenance = json.dumps(meta["Provenance"], sort_keys=True) if "Provenance" in meta else "-"
            fields = [page.imagewidth, page.imagelength, samples, int(page.compression), float(meta["Time"]).hex()]
            fields += [float(v).hex() for v in meta["AbsTime"]]
            fields += [meta["FrameNumber"], meta["RelativeFrame"], meta["TriggerIndex"], provenance]
            lines.append("page " + " ".join(str(f) for f in fields))
    for message in collected.messages:
        lines.append("warning " + message.replace("\n", " "))
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
