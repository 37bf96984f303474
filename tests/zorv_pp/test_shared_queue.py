"""Tasks shared by the caller and its workers: every outcome, in order, whatever happens to a worker."""

import os
import time
from pathlib import Path

import pytest

from zorv_pp.campaign.shared_queue import SharedTasks


def square_and_pid(x):
    time.sleep(0.05)
    return x * x, os.getpid()


def square_once_two_have_begun(task):
    # Whoever takes the first task waits until another process has begun one,
    # so a worker slow to start on a loaded machine still gets its share.
    x, folder = task
    Path(folder, f"{os.getpid()}-{x}").touch()
    deadline = time.monotonic() + 60.0
    while x == 0 and time.monotonic() < deadline:
        if len({name.split("-")[0] for name in os.listdir(folder)}) > 1:
            break
        time.sleep(0.01)
    return x * x, os.getpid()


def fails_on_seven(x):
    if x == 7:
        raise KeyError("seven")
    return x


def worker_dies_on_its_first(task):
    x, caller = task
    if os.getpid() != caller and x < 40:
        os._exit(3)  # a worker killed in the middle of a task it had claimed
    return x


@pytest.mark.parametrize("processes", [2, 3])
def test_every_outcome_in_order_and_the_work_shared(processes, tmp_path):
    found = list(SharedTasks(square_once_two_have_begun, [(x, tmp_path) for x in range(30)], processes))
    assert [value for value, _ in found] == [x * x for x in range(30)]
    assert len({pid for _, pid in found}) > 1


def test_a_task_that_raises_raises_in_the_caller_at_its_turn():
    seen = []
    with pytest.raises(KeyError, match="seven"):
        for value in SharedTasks(fails_on_seven, list(range(20)), 2):
            seen.append(value)
    assert seen == list(range(7))


def test_a_dead_worker_leaves_its_task_to_the_caller():
    tasks = [(x, os.getpid()) for x in range(50)]
    assert list(SharedTasks(worker_dies_on_its_first, tasks, 2)) == list(range(50))


def test_a_caller_that_stops_early_stops_its_workers():
    tasks = SharedTasks(square_and_pid, list(range(10_000)), 2)
    start = time.perf_counter()
    for value, _ in tasks:
        if value > 10:
            break
    assert time.perf_counter() - start < 30.0  # not the 250 s the rest would take, however slow a start
