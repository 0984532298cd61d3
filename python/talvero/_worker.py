"""One study run in a process of its own: a task on standard input, (results, error) on standard output."""

import pickle
import sys


def main() -> int:
    task = pickle.load(sys.stdin.buffer)
    from talvero import Model
    try:
        model = Model(task["model"], dt=task["dt"], pulse=task["pulse"], engine=task.get("engine", "exact"))
        for path, value in task["params"].items():
            model[path] = value
        outcome = (model.run(steps=task["steps"], time=task["time"], watch=task["watch"]), None)
    except Exception as error:
        outcome = (None, error)
    sys.stdout.buffer.write(pickle.dumps(outcome))
    return 0


if __name__ == "__main__":
    sys.exit(main())
