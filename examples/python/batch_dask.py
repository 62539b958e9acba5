#!/usr/bin/env python3
"""batch.py spread over a Dask cluster: one task per video, each with a
session of its own.

    python3 batch_dask.py FOLDER EFFECT [--scheduler tcp://HOST:8786] [--workers N]

Without --scheduler it starts a local cluster of N worker processes (one
per core by default). With a scheduler, every worker needs the quexal
package installed and must see FOLDER at the same path (a shared file
system); this script sends batch.py to the workers itself.
"""

import os
import sys
from pathlib import Path

from dask.distributed import Client, as_completed
from tqdm import tqdm

import batch


def run(client, folder, effect, data=None):
    """Processes every video of folder on the cluster; answers {output: frames}."""
    batch.make_effect(effect)  # an unknown effect stops here, before any task
    videos = [str(v) for v in batch.videos_in(folder)]
    # pure=False: each video is work to do, not a value to cache.
    futures = client.map(batch.process_video, videos, effect=effect, data=data, pure=False)
    done = {}
    for future in tqdm(as_completed(futures), total=len(futures), unit="video"):
        out, frames = future.result()
        tqdm.write(f"{out}: {frames} frames")
        done[out] = frames
    return done


def connect(scheduler, workers):
    """A client on the given scheduler, or on a new local cluster."""
    if scheduler:
        client = Client(scheduler)
        client.upload_file(str(Path(batch.__file__)))
        return client
    # The client owns this cluster and shuts it down when it closes.
    return Client(n_workers=workers, threads_per_worker=1, dashboard_address=None)


def main():
    parser = batch.arguments("Applies one effect to every video in a folder, on a Dask cluster.")
    parser.add_argument("--scheduler", help="address of a running scheduler, tcp://HOST:PORT")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="worker processes of the local cluster (no --scheduler)")
    args = batch.parse(parser)
    with connect(args.scheduler, args.workers) as client:
        print(f"scheduler {client.scheduler.address}", file=sys.stderr)
        run(client, args.folder, args.effect, args.data)


if __name__ == "__main__":
    main()
