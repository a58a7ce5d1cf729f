"""What the end-to-end scripts report with: a failed check ends the case with its message."""


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(message, flush=True)
