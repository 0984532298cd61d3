"""One study run in a process of its own: a task on standard input, (results, error) on standard output."""

import pickle
import sys
import warnings


def main() -> int:
    """Runs the pickled task on standard input; writes (results, error) pickled to standard output."""
    task = pickle.load(sys.stdin.buffer)
    from talvero import Model
    warning = None
    try:
        # The study fills the cores with runs: each run computes on one thread.
        model = Model(task["model"], dt=task["dt"], pulse=task["pulse"], engine=task.get("engine", "exact"),
                      threads=task.get("threads", 1))
        warm = task.get("checkpoint")
        if warm is not None:
            model.restore(warm)
        for path, value in task["params"].items():
            if warm is None:
                model[path] = value
            else:
                model.set_keeping_state(path, value)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", RuntimeWarning)
            results = model.run(steps=task["steps"], time=task["time"], watch=task["watch"])
        # The run's divergence warning travels with its results, as the batch runner's status 3.
        diverged = [w for w in caught if issubclass(w.category, RuntimeWarning)]
        warning = str(diverged[0].message) if diverged else None
        outcome = (results, None, warning)
    except Exception as error:
        outcome = (None, error, warning)
    sys.stdout.buffer.write(pickle.dumps(outcome))
    return 0


if __name__ == "__main__":
    sys.exit(main())
