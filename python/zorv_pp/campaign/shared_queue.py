"""Tasks shared by the calling process and its workers, handed out in order.

The caller is one of the jobs. Each process claims the next unclaimed task
from one shared counter, so no process waits while another still has runs to
do, and the last runs end within one run of each other. A worker sends each
outcome back through its own pipe; the caller reads them only when it needs
the next outcome in order, so it keeps no thread of its own beside its fits.
"""

from __future__ import annotations

import multiprocessing
from collections.abc import Callable, Iterator, Sequence
from multiprocessing.connection import Connection, wait
from typing import Any, Generic, TypeVar

T = TypeVar("T")
R = TypeVar("R")

_DONE = None


class _Raised:
    """An exception a worker's task raised, sent back to be raised again in the caller."""

    def __init__(self, error: BaseException) -> None:
        self.error = error


def _work(call: Callable[[T], R], tasks: Sequence[T], counter: Any, pipe: Connection) -> None:
    try:
        while (i := _claim(counter, len(tasks))) is not None:
            try:
                outcome: object = call(tasks[i])
            except Exception as error:  # the caller raises it as the serial loop would have
                outcome = _Raised(error)
            pipe.send((i, outcome))
        pipe.send(_DONE)
    except OSError:
        pass  # the caller has stopped listening: it wants nothing more
    finally:
        pipe.close()


def _claim(counter: Any, size: int) -> int | None:
    with counter.get_lock():
        i = int(counter.value)
        if i >= size:
            return None
        counter.value = i + 1
    return i


class SharedTasks(Generic[T, R]):
    """``call`` over ``tasks`` in ``processes`` processes, the caller's among them; outcomes in order."""

    def __init__(self, call: Callable[[T], R], tasks: Sequence[T], processes: int) -> None:
        self.call, self.tasks, self.processes = call, tasks, processes

    def __iter__(self) -> Iterator[R]:
        context = multiprocessing.get_context()
        counter = context.Value("q", 0)
        pipes: list[Connection] = []
        workers = []
        try:
            for _ in range(self.processes - 1):
                receive, send = context.Pipe(duplex=False)
                worker = context.Process(target=_work, args=(self.call, self.tasks, counter, send), daemon=True)
                worker.start()
                send.close()
                pipes.append(receive)
                workers.append(worker)
            yield from self._in_order(counter, pipes)
        finally:
            with counter.get_lock():
                counter.value = len(self.tasks)  # a caller that stops early stops the workers too
            for pipe in pipes:
                pipe.close()
            for worker in workers:
                worker.join(timeout=5.0)
                if worker.is_alive():
                    worker.terminate()

    def _in_order(self, counter: Any, pipes: list[Connection]) -> Iterator[R]:
        outcomes: dict[int, object] = {}
        open_pipes = list(pipes)
        for given in range(len(self.tasks)):
            while given not in outcomes:
                ready = wait(open_pipes, timeout=0) if open_pipes else []
                if ready:
                    self._receive(ready, outcomes, open_pipes)
                elif (i := _claim(counter, len(self.tasks))) is not None:
                    outcomes[i] = self.call(self.tasks[i])
                elif open_pipes:
                    self._receive(wait(open_pipes), outcomes, open_pipes)
                else:  # a worker died with a task it had claimed: the caller does it
                    outcomes[given] = self.call(self.tasks[given])
            outcome = outcomes.pop(given)
            if isinstance(outcome, _Raised):
                raise outcome.error
            yield outcome  # type: ignore[misc]

    @staticmethod
    def _receive(ready: list[Any], outcomes: dict[int, object], open_pipes: list[Connection]) -> None:
        for pipe in ready:
            try:
                message = pipe.recv()
            except EOFError:
                message = _DONE
            if message is _DONE:
                open_pipes.remove(pipe)
            else:
                i, outcome = message
                outcomes[i] = outcome
