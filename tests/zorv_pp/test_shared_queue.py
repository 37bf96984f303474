"""Tasks shared by the caller and its workers: every outcome, in order, whatever happens to a worker."""

import os
import time

import pytest

from zorv_pp.campaign.shared_queue import SharedTasks


def square_and_pid(x):
    time.sleep(0.05)  # long enough that a worker, however it is started, takes some
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
def test_every_outcome_in_order_and_the_work_shared(processes):
    found = list(SharedTasks(square_and_pid, list(range(30)), processes))
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
    tasks = SharedTasks(square_and_pid, list(range(1_000)), 2)
    start = time.perf_counter()
    for value, _ in tasks:
        if value > 10:
            break
    assert time.perf_counter() - start < 5.0  # not the 25 s the rest would take
