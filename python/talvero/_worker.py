"""One study run in a process of its own: a task on standard input, (results, error) on standard output."""

import pickle
import sys


def main() -> int:
    """Runs the pickled task on standard input; writes (results, error) pickled to standard output."""
    task = pickle.load(sys.stdin.buffer)
    from talvero import Model
    try:
        model = Model(task["model"], dt=task["dt"], pulse=task["pulse"])
        warm = task.get("checkpoint")
        if warm is not None:
            model.restore(warm)
        for path, value in task["params"].items():
            if warm is None:
                model[path] = value
            else:
                model.set_keeping_state(path, value)
        outcome = (model.run(steps=task["steps"], time=task["time"], watch=task["watch"]), None)
    except Exception as error:
        outcome = (None, error)
    sys.stdout.buffer.write(pickle.dumps(outcome))
    return 0


if __name__ == "__main__":
    sys.exit(main())
